// The layout of a generated map as JSON: size, powers with their colours,
// and per province its name, abbreviation, terrain, centre, label and
// centre-mark points, fleet coasts and outline loops.
#include <string>

#include "tools/board/layout.h"
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

std::string layout_json(const Layout &layout, LayoutText text) {
    bool lines = text == LayoutText::LINES;
    // Separators: between fields, after a name, and before each entry of
    // the two long lists at the given depth.
    const char *comma = lines ? ", " : ",";
    const char *colon = lines ? ": " : ":";
    auto entry = [lines](int depth) { return lines ? "\n" + std::string(2 * static_cast<size_t>(depth), ' ') : ""; };
    auto field = [colon](const char *name) { return "\"" + std::string(name) + "\"" + colon; };

    std::string out = "{" + entry(1) + field("width") + std::to_string(layout.width) + "," + entry(1) +
                      field("height") + std::to_string(layout.height) + "," + entry(1) + field("powers") + "[";
    for (size_t i = 0; i < layout.powers.size(); i++) {
        out += (i ? "," : "") + entry(2);
        out += "{" + field("index") + std::to_string(i) + comma + field("name") + json_quote(layout.powers[i].name) +
               comma + field("colour") + json_quote(layout.powers[i].colour) + "}";
    }
    out += entry(1) + "]," + entry(1) + field("provinces") + "[";
    for (size_t i = 0; i < layout.provinces.size(); i++) {
        const LayoutProvince &province = layout.provinces[i];
        out += (i ? "," : "") + entry(2);
        out += "{" + field("index") + std::to_string(i) + comma + field("name") + json_quote(province.name) + comma +
               field("abbreviation") + json_quote(province.abbreviation) + comma + field("terrain") +
               json_quote(terrain_name(province.terrain)) + comma + field("centre") +
               (province.centre ? "true" : "false");
        out += comma + field("home_power");
        out += province.home_power < layout.powers.size() ? std::to_string(province.home_power) : "null";
        out += comma + field("label") + point(province.label) + comma + field("centre_mark") +
               point(province.centre_mark);
        out += comma + field("coasts") + "[";
        for (size_t c = 0; c < province.coasts.size(); c++) {
            const LayoutCoast &coast = province.coasts[c];
            out += c ? comma : "";
            out += "{" + field("code") + std::to_string(coast.code) + comma + field("name") + json_quote(coast.name) +
                   comma + field("at") + point(coast.at) + "}";
        }
        out += "]" + std::string(comma) + field("outline") + "[";
        for (size_t l = 0; l < province.outline.size(); l++) {
            out += l ? std::string(comma) + "[" : "[";
            for (size_t p = 0; p < province.outline[l].size(); p++)
                out += (p ? "," : "") + point(province.outline[l][p]);
            out += "]";
        }
        out += "]}";
    }
    out += entry(1) + "]" + entry(0) + "}";
    return lines ? out + "\n" : out;
}
