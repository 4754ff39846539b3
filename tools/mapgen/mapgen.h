// The map generator: playable maps made from a seed and a size, written as
// the map-definition, centre-ownership and position messages the library
// reads, with a layout (names, coordinates, outlines) for drawing them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "brox.h"
#include "tools/board/layout.h"

// Low byte of every generated province token; the high byte is the
// province index modulo 256.
constexpr uint16_t MAPGEN_PROVINCE_CATEGORY = 0x50;
// Year of every opening position.
constexpr uint16_t MAPGEN_OPENING_YEAR = 1901;
// Coast codes of the two fleet coasts of a two-coast province, named by the
// side of the province they lie on.
constexpr uint16_t MAPGEN_COAST_NORTH = 0x10;
constexpr uint16_t MAPGEN_COAST_EAST = 0x11;
constexpr uint16_t MAPGEN_COAST_SOUTH = 0x12;
constexpr uint16_t MAPGEN_COAST_WEST = 0x13;

// Sizes the generator takes.
constexpr int MAPGEN_MIN_PROVINCES = 8;
constexpr int MAPGEN_MIN_HOMES = 1;
constexpr int MAPGEN_MAX_HOMES = 5;

struct MapgenOptions {
    uint64_t seed = 1;
    int provinces = 75;  // MAPGEN_MIN_PROVINCES .. MAX_PROVINCES
    int powers = 7;      // 1 .. MAX_POWERS
    int homes = 3;       // home centres of each power
    int extra_homes = 0; // powers (the first ones) that get one home more
};

// A generated map: three messages, each from its type word (exactly what
// map_build, centre_table_build and position_build read), and the layout.
struct GeneratedMap {
    std::vector<uint8_t> map_message;      // MSG_MAP_DEFINITION
    std::vector<uint8_t> centres_message;  // MSG_CENTRE_OWNERSHIP of the opening
    std::vector<uint8_t> position_message; // MSG_POSITION: spring of the opening year
    Layout layout;
    uint64_t seed_used = 0;  // the seed that gave this map (see mapgen_generate)
};

// A position with its centre ownership, both as messages.
struct GeneratedPosition {
    std::vector<uint8_t> centres_message;
    std::vector<uint8_t> position_message;
};

// Why the options cannot be generated, or "" when they can.
std::string mapgen_check_options(const MapgenOptions &options);

// Generates a map.  The options must pass mapgen_check_options; otherwise
// the messages come back empty.  The same options give the same bytes on
// every build.  When a draw breaks one of the Map's capacities the
// generator draws again from a seed derived from the first; `seed_used`
// tells which one was kept.
GeneratedMap mapgen_generate(const MapgenOptions &options);

// The built-in map of standard size: 7 powers, 75 provinces, 34 supply
// centres of which 22 are home centres, 22 starting units.
MapgenOptions mapgen_default_options();
GeneratedMap mapgen_default();

// A spring position on the default map with 34 units spread over the
// powers, several fleets at sea beside armies on coasts, and a centre
// ownership in which every centre is owned.
GeneratedPosition mapgen_midgame_position();
