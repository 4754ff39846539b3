// The generator's entry points: checking options, running the steps that
// make a map, keeping the draw within the Map's capacities, and the
// built-in default map.
#include <algorithm>
#include <map>
#include <set>
#include <utility>

#include "model.h"

namespace mapgen {

namespace {

constexpr int MAX_ATTEMPTS = 16;
constexpr size_t MAX_MESSAGE = 0xFFFF;

int sea_count(int provinces) { return std::max(1, (provinces + 2) / 4); }

// Whether the Map can hold the draw: Locations, adjacent Locations per
// Location, neighbours per province, and the message within 65,535 bytes.
bool within_capacities(const World &world) {
    if (16 + 12 * world.provinces.size() + 8 * world.adjacencies.size() > MAX_MESSAGE) return false;
    std::map<std::pair<int, int>, int> adjacent_count;
    std::map<int, std::set<int>> neighbours;
    for (const AdjacencyPlan &entry : world.adjacencies) {
        adjacent_count[{entry.from_province, entry.from_coast}]++;
        adjacent_count[{entry.to_province, entry.to_coast}] += 0;
        neighbours[entry.from_province].insert(entry.to_province);
    }
    size_t locations = adjacent_count.size();
    for (int p = 0; p < world.province_count(); p++)
        if (world.is_land(p) && !adjacent_count.count({p, COAST_ARMY})) locations++;
    if (locations > MAX_LOCATIONS) return false;
    for (const auto &[location, count] : adjacent_count)
        if (count > MAX_ADJACENT) return false;
    for (const auto &[province, set] : neighbours)
        if (set.size() > MAX_ADJACENT) return false;
    return world.units.size() <= MAX_UNITS;
}

bool build_world(World &world, const MapgenOptions &options, uint64_t seed) {
    Random random(seed);
    world = World{};
    world.powers = options.powers;
    world.plane = plane_partition(random, options.provinces);
    world.provinces.assign(static_cast<size_t>(options.provinces), ProvincePlan{});
    choose_seas(world, random);
    choose_two_coasts(world, random);
    place_homes(world, random, options);
    place_neutral_centres(world, random);
    place_opening_units(world, random);
    link_adjacencies(world);
    return within_capacities(world);
}

}  // namespace

bool make_world(const MapgenOptions &options, World &world, uint64_t *seed_used) {
    for (uint64_t attempt = 0; attempt < MAX_ATTEMPTS; attempt++) {
        uint64_t seed = attempt == 0 ? options.seed : derive_seed(options.seed, attempt);
        if (build_world(world, options, seed)) {
            *seed_used = seed;
            return true;
        }
    }
    return false;
}

}  // namespace mapgen

using namespace mapgen;

std::string mapgen_check_options(const MapgenOptions &options) {
    if (options.powers < 1 || options.powers > MAX_POWERS) return "powers must be 1 to 20";
    if (options.provinces < MAPGEN_MIN_PROVINCES || options.provinces > MAX_PROVINCES)
        return "provinces must be 8 to 300";
    if (options.homes < MAPGEN_MIN_HOMES || options.homes > MAPGEN_MAX_HOMES)
        return "home centres per power must be 1 to 5";
    if (options.extra_homes < 0 || options.extra_homes > options.powers)
        return "powers with an extra home centre must be 0 to the number of powers";
    int homes = options.powers * options.homes + options.extra_homes;
    if (homes > MAX_UNITS) return "more than 100 home centres (one starting unit each)";
    // Home centres may take two thirds of the land at most.
    int land = options.provinces - sea_count(options.provinces);
    if (homes * 3 > land * 2)
        return "too many home centres for the land of " + std::to_string(options.provinces) +
               " provinces: use more provinces, fewer powers or fewer homes";
    return "";
}

GeneratedMap mapgen_generate(const MapgenOptions &options) {
    GeneratedMap generated;
    if (!mapgen_check_options(options).empty()) return generated;
    World world;
    uint64_t seed = 0;
    if (!make_world(options, world, &seed)) return generated;
    std::vector<int> owner_of;
    for (const ProvincePlan &plan : world.provinces) owner_of.push_back(plan.home_power);
    generated.map_message = encode_map(world);
    generated.centres_message = encode_centres(world, owner_of);
    generated.position_message = encode_position(SEASON_SPRING, MAPGEN_OPENING_YEAR, world.units);
    // Names come from a stream of their own, so that they never change the
    // shape of the map.
    Random naming(derive_seed(seed, 0x4E414D45));
    generated.layout = build_layout(world, naming);
    generated.seed_used = seed;
    return generated;
}

MapgenOptions mapgen_default_options() {
    MapgenOptions options;
    options.seed = 1;
    options.provinces = 75;
    options.powers = 7;
    options.homes = 3;
    options.extra_homes = 1;
    return options;
}

GeneratedMap mapgen_default() { return mapgen_generate(mapgen_default_options()); }
