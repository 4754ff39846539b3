// The generator's working model of a map between the steps that make it:
// the cut plane, each province's terrain, coasts and centre, the units of a
// position, and the adjacency entries.  Province index = region index.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mapgen.h"
#include "plane.h"
#include "random.h"

namespace mapgen {

constexpr int NO_POWER = -1;

struct ProvincePlan {
    uint16_t terrain = 0;               // TERRAIN_LAND | TERRAIN_WATER
    std::vector<LayoutCoast> coasts;    // two fleet coasts, or empty
    std::vector<int> coast_seas[2];     // the seas each of the two coasts faces
    bool centre = false;
    int home_power = NO_POWER;
};

struct UnitPlan {
    int power = 0;
    uint16_t unit_type = UNIT_ARMY;
    int province = 0;
    uint16_t coast = COAST_ARMY;
};

struct AdjacencyPlan {
    uint16_t from_province, from_coast, to_province, to_coast;
    bool operator==(const AdjacencyPlan &) const = default;
};

struct World {
    Plane plane;
    int powers = 0;
    std::vector<ProvincePlan> provinces;
    std::vector<int> home_order;        // home centres in the order they were claimed
    std::vector<UnitPlan> units;        // the opening position
    std::vector<AdjacencyPlan> adjacencies;

    int province_count() const { return static_cast<int>(provinces.size()); }
    bool is_sea(int p) const { return provinces[static_cast<size_t>(p)].terrain == TERRAIN_WATER; }
    bool is_land(int p) const { return (provinces[static_cast<size_t>(p)].terrain & TERRAIN_LAND) != 0; }
    bool is_coastal(int p) const {
        return provinces[static_cast<size_t>(p)].terrain == (TERRAIN_LAND | TERRAIN_WATER);
    }
    const std::vector<int> &neighbours(int p) const {
        return plane.regions[static_cast<size_t>(p)].neighbours;
    }
    // The fleet coast of coastal province p that faces sea s: COAST_SHORE,
    // or one of the two special codes of a two-coast province.
    uint16_t coast_facing(int p, int sea) const;
    // The coast a fleet is given when it stands in p.
    uint16_t fleet_coast(int p) const;
};

// Moves between provinces by every adjacency (-1 where unreachable), from
// the given sources; when `land_only`, through land provinces only.
std::vector<int> province_distances(const World &world, const std::vector<int> &sources,
                                    bool land_only);

// Steps of the generator, in the order they run.
void choose_seas(World &world, Random &random);
void choose_two_coasts(World &world, Random &random);
void place_homes(World &world, Random &random, const MapgenOptions &options);
void place_neutral_centres(World &world, Random &random);
void place_opening_units(World &world, Random &random);
void link_adjacencies(World &world);

// Names: provinces (name and unique abbreviation) and powers.
struct ProvinceName {
    std::string name;
    std::string abbreviation;
};
std::vector<ProvinceName> province_names(Random &random, int count);
std::vector<std::string> power_names(Random &random, int count);
std::string power_colour(int power);

// Messages from the model; each starts at its type word.
std::vector<uint8_t> encode_map(const World &world);
std::vector<uint8_t> encode_centres(const World &world, const std::vector<int> &owner_of);
std::vector<uint8_t> encode_position(uint16_t season, uint16_t year,
                                     const std::vector<UnitPlan> &units);
Layout build_layout(const World &world, Random &random);

// Makes the World of a set of options that have passed the checks, drawing
// again from derived seeds while a draw breaks one of the Map's
// capacities.  False, with `world` unusable, when every draw did.
bool make_world(const MapgenOptions &options, World &world, uint64_t *seed_used);
std::vector<int> homes_of(const World &world, int power);

}  // namespace mapgen
