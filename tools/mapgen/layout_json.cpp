// The layout of a generated map as JSON: size, powers with their colours,
// and per province its name, abbreviation, terrain, centre, label and
// centre-mark points, fleet coasts and outline loops.
#include <string>

#include "mapgen.h"
#include "tools/common/json_quote.h"

namespace {

std::string point(LayoutPoint p) { return "[" + std::to_string(p.x) + "," + std::to_string(p.y) + "]"; }

const char *terrain_name(uint16_t terrain) {
    switch (terrain) {
    case TERRAIN_LAND: return "inland";
    case TERRAIN_WATER: return "sea";
    case TERRAIN_LAND | TERRAIN_WATER: return "coastal";
    default: return "none";
    }
}

}  // namespace

std::string layout_json(const Layout &layout) {
    std::string out = "{\n  \"width\": " + std::to_string(layout.width) +
                      ",\n  \"height\": " + std::to_string(layout.height) + ",\n  \"powers\": [";
    for (size_t i = 0; i < layout.powers.size(); i++) {
        out += i ? ",\n    " : "\n    ";
        out += "{\"index\": " + std::to_string(i) + ", \"name\": " + json_quote(layout.powers[i].name) +
               ", \"colour\": " + json_quote(layout.powers[i].colour) + "}";
    }
    out += "\n  ],\n  \"provinces\": [";
    for (size_t i = 0; i < layout.provinces.size(); i++) {
        const LayoutProvince &province = layout.provinces[i];
        out += i ? ",\n    " : "\n    ";
        out += "{\"index\": " + std::to_string(i) + ", \"name\": " + json_quote(province.name) +
               ", \"abbreviation\": " + json_quote(province.abbreviation) + ", \"terrain\": " +
               json_quote(terrain_name(province.terrain)) + ", \"centre\": " + (province.centre ? "true" : "false");
        out += ", \"home_power\": ";
        out += province.home_power < layout.powers.size() ? std::to_string(province.home_power) : "null";
        out += ", \"label\": " + point(province.label) + ", \"centre_mark\": " + point(province.centre_mark);
        out += ", \"coasts\": [";
        for (size_t c = 0; c < province.coasts.size(); c++) {
            const LayoutCoast &coast = province.coasts[c];
            out += c ? ", " : "";
            out += "{\"code\": " + std::to_string(coast.code) + ", \"name\": " + json_quote(coast.name) +
                   ", \"at\": " + point(coast.at) + "}";
        }
        out += "], \"outline\": [";
        for (size_t l = 0; l < province.outline.size(); l++) {
            out += l ? ", [" : "[";
            for (size_t p = 0; p < province.outline[l].size(); p++)
                out += (p ? "," : "") + point(province.outline[l][p]);
            out += "]";
        }
        out += "]}";
    }
    out += "\n  ]\n}\n";
    return out;
}
