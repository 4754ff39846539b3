// The map generator: playable maps made from a seed and a size, written as
// the map-definition, centre-ownership and position messages the library
// reads, with a layout (names, coordinates, outlines) for drawing them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "brox.h"

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

// A point of the drawing plane, in drawing units (y grows downwards).
struct LayoutPoint {
    int32_t x = 0;
    int32_t y = 0;
};

// One fleet coast of a two-coast province and where a fleet on it is drawn.
struct LayoutCoast {
    uint16_t code = 0;
    std::string name;  // "north", "east", "south" or "west"
    LayoutPoint at;
};

struct LayoutProvince {
    std::string name;
    std::string abbreviation;  // three capital letters, unique on the map
    uint16_t terrain = 0;      // TERRAIN_LAND | TERRAIN_WATER
    bool centre = false;
    uint16_t home_power = 0;   // home power of a home centre; the power count otherwise
    LayoutPoint label;         // a point well inside the province: label, army, fleet
    LayoutPoint centre_mark;   // where a supply centre is marked
    std::vector<LayoutCoast> coasts;                 // two-coast provinces only
    std::vector<std::vector<LayoutPoint>> outline;   // closed loops, the first the outer one
};

struct LayoutPower {
    std::string name;
    std::string colour;  // "#rrggbb"
};

// Everything needed to draw a generated map; provinces by province index.
struct Layout {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<LayoutProvince> provinces;
    std::vector<LayoutPower> powers;
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

// The layout as JSON text.
std::string layout_json(const Layout &layout);
// Reads layout JSON text as layout_json writes it, checking every field,
// count and coordinate; false with what is wrong in *error ("provinces[3]
// .label: expected [x, y]").
bool layout_parse(const std::string &text, Layout *layout, std::string *error);

// What a picture of one phase shows besides the board: each unit's order
// with what became of it.  Outcome words are those of the game record
// ("moved", "bounced", "supported", "cut", "no-such-order", "dislodged",
// "carried", "not-carried", "retreated", "disbanded", "built", "removed",
// ...); a failed order is marked.
struct BoardPhase {
    std::vector<std::string> outcomes;  // by unit index; empty: no orders drawn
    std::vector<bool> dislodged;        // by unit index: dislodged by this phase's moves
};

// A picture in parts, so that a page showing many phases of one map keeps
// a single copy of the provinces: `head` opens the SVG document, `base`
// draws every province (with id "province-N") in its unowned fill and the
// labels, `owners` gives the power whose tint each land province takes
// (-1 for none), and `overlay` the centres, units, orders, marks and the
// legend.  The document is head, the provinces tinted, overlay, "</svg>".
struct BoardPicture {
    int32_t width = 0;
    int32_t height = 0;  // map and legend
    std::string head;
    std::string base;
    std::vector<int> owners;
    std::string overlay;
};

// The fill of land owned by `power`: its colour lightened, the same in the
// board and in the legend's swatch.
std::string board_owner_tint(const Layout &layout, int power);
// The fill of a province with no owner.
std::string board_plain_fill(const Layout &layout, const Map *map, size_t province);

// Reads the records only; `centres`, `position` and `phase` may be null
// (no owners, no units, no orders).  The layout must be the one generated
// with the Map.
BoardPicture board_picture(const Layout &layout, const Map *map, const CentreTable *centres,
                           const Position *position, const BoardPhase *phase = nullptr);

// The board as one SVG document: provinces at their outlines, land tinted
// by owner, supply centres coloured by owner, the Position's units
// (dislodged ones marked), the phase's orders with their outcomes, and a
// legend with each power's centre count.
std::string board_svg(const Layout &layout, const Map *map, const CentreTable *centres,
                      const Position *position, const BoardPhase *phase = nullptr);
