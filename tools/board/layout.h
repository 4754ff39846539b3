// The layout of a map for drawing: its size, each power's name and colour,
// and per province its name, abbreviation, terrain, supply centre, label
// and centre-mark points, named coasts and outline.  Written by the map
// generator (layout.json, and the game record's map line) and read back
// by the server and the replay.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "brox.h"

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

// Everything needed to draw a map; provinces by province index.
struct Layout {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<LayoutProvince> provinces;
    std::vector<LayoutPower> powers;
};

// How layout_json lays out its text: a line per power and province for
// people (layout.json), or all on one line (a line of the game record).
enum class LayoutText { LINES, ONE_LINE };

// The layout as JSON text.
std::string layout_json(const Layout &layout, LayoutText text = LayoutText::LINES);
// Reads layout JSON text as layout_json writes it (in either form),
// checking every field, count and coordinate; false with what is wrong in
// *error ("provinces[3].label: expected [x, y]").
bool layout_parse(const std::string &text, Layout *layout, std::string *error);
// The same from a parsed JSON object (the map line of a game record).
struct JsonValue;
bool layout_read(const JsonValue &root, Layout *layout, std::string *error);
