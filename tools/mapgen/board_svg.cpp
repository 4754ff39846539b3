// A picture of a board as SVG: provinces at their outlines (land and sea
// apart, owned land tinted), supply centres coloured by owner, and every
// unit of a Position in its power's colour at its location.  It reads the
// library's records (Map, CentreTable, Position) and a generated layout.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "mapgen.h"
#include "world/map.h"
#include "world/position.h"

namespace {

constexpr const char *SEA_FILL = "#a9cce3";
constexpr const char *LAND_FILL = "#eadcb8";
constexpr const char *UNOWNED_FILL = "#f5f5f5";
constexpr int LEGEND_ROW = 16;

std::string escaped(const std::string &text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string number(int32_t value) { return std::to_string(value); }

// A colour of the layout's powers, grey for an index it does not name.
std::string colour_of(const Layout &layout, int power) {
    if (power >= 0 && static_cast<size_t>(power) < layout.powers.size()) return layout.powers[static_cast<size_t>(power)].colour;
    return "#808080";
}

std::string name_of(const Layout &layout, int power) {
    if (power >= 0 && static_cast<size_t>(power) < layout.powers.size()) return layout.powers[static_cast<size_t>(power)].name;
    return "Power " + std::to_string(power);
}

// `share` parts in 10 of `colour` mixed into `base` (both "#rrggbb").
std::string mix(const std::string &colour, const std::string &base, int share) {
    auto channel = [](const std::string &hex, int at) {
        if (hex.size() != 7) return 128;
        return static_cast<int>(std::strtol(hex.substr(static_cast<size_t>(1 + 2 * at), 2).c_str(), nullptr, 16));
    };
    char out[8];
    int c[3];
    for (int i = 0; i < 3; i++) c[i] = (channel(colour, i) * share + channel(base, i) * (10 - share)) / 10;
    std::snprintf(out, sizeof out, "#%02x%02x%02x", c[0], c[1], c[2]);
    return out;
}

std::string season_name(uint16_t season) {
    switch (season) {
    case SEASON_SPRING: return "Spring";
    case SEASON_SUMMER: return "Summer";
    case SEASON_FALL: return "Fall";
    case SEASON_AUTUMN: return "Autumn";
    default: return "Winter";
    }
}

std::string outline_path(const LayoutProvince &province) {
    std::string d;
    for (const std::vector<LayoutPoint> &loop : province.outline) {
        for (size_t i = 0; i < loop.size(); i++)
            d += (i ? "L" : "M") + number(loop[i].x) + " " + number(loop[i].y);
        d += "Z";
    }
    return d;
}

// Owner per province from the table's lists (the later power wins when a
// province is listed twice, as in a Position); -1 for nobody.
std::vector<int> owners(const Map *map, const CentreTable *centres, size_t provinces) {
    std::vector<int> owner(provinces, -1);
    if (!map || !centres) return owner;
    for (int power = 0; power < map->power_count && power < MAX_POWERS; power++) {
        const CentreList *list = centres->lists[power];
        if (!list) continue;
        for (int i = 0; i < list->count && i < MAX_PROVINCES; i++)
            if (list->provinces[i] < provinces) owner[list->provinces[i]] = power;
    }
    return owner;
}

// One unit mark: a disc for an army, a hull for a fleet, with its letter;
// a dislodged unit is drawn beside its place with a red dashed rim.
std::string unit_mark(const Layout &layout, const Position *position, const Unit *unit) {
    const Map *map = position->map;
    const Location *location = unit->location->location;
    uint16_t p = map_province_index(map, location->province);
    if (p >= layout.provinces.size()) return "";
    const LayoutProvince &province = layout.provinces[p];
    LayoutPoint at = province.label;
    std::string coast_name;
    for (const LayoutCoast &coast : province.coasts)
        if (coast.code == unit->location->coast) {
            at = coast.at;
            coast_name = coast.name;
        }
    bool dislodged = unit->dislodged != 0;
    if (dislodged) at = {at.x + 10, at.y + 10};
    bool fleet = unit->unit_type == UNIT_FLEET;
    std::string colour = colour_of(layout, unit->power);
    std::string rim = dislodged ? "stroke=\"#e00000\" stroke-width=\"2\" stroke-dasharray=\"3 2\""
                                : "stroke=\"#000000\" stroke-width=\"1\"";
    std::string out = "<g class=\"unit " + std::string(fleet ? "fleet" : "army") +
                      (dislodged ? " dislodged" : "") + "\">";
    out += "<title>" + escaped(name_of(layout, unit->power)) + (fleet ? " fleet" : " army") +
           (dislodged ? ", dislodged," : "") + " in " + escaped(province.name) +
           (coast_name.empty() ? "" : " (" + coast_name + " coast)") + "</title>";
    if (fleet) {
        int32_t x = at.x, y = at.y;
        out += "<polygon points=\"" + number(x - 9) + "," + number(y - 3) + " " + number(x + 9) + "," +
               number(y - 3) + " " + number(x + 6) + "," + number(y + 5) + " " + number(x - 6) + "," +
               number(y + 5) + "\" fill=\"" + colour + "\" " + rim + "/>";
    } else {
        out += "<circle cx=\"" + number(at.x) + "\" cy=\"" + number(at.y) + "\" r=\"7\" fill=\"" + colour +
               "\" " + rim + "/>";
    }
    out += "<text x=\"" + number(at.x) + "\" y=\"" + number(at.y + 3) +
           "\" font-size=\"8\" font-weight=\"bold\" text-anchor=\"middle\" fill=\"#ffffff\">" +
           (fleet ? "F" : "A") + "</text>";
    if (!coast_name.empty())
        out += "<text x=\"" + number(at.x + 11) + "\" y=\"" + number(at.y + 3) +
               "\" font-size=\"7\" fill=\"#000000\">" + coast_name.substr(0, 1) + "c</text>";
    return out + "</g>\n";
}

// The legend below the map: the phase, then each power's colour and
// name, wrapped into rows as wide as the map.  Returns its height.
int32_t legend(const Layout &layout, const Position *position, std::string *out) {
    int32_t x = 8, y = layout.height + LEGEND_ROW;
    if (position) {
        std::string phase = season_name(position->season) + " " + std::to_string(position->year);
        *out += "<text x=\"" + number(x) + "\" y=\"" + number(y) + "\" font-size=\"12\" font-weight=\"bold\">" +
                escaped(phase) + "</text>\n";
        x += 100;
    }
    for (const LayoutPower &power : layout.powers) {
        int32_t width = 24 + 7 * static_cast<int32_t>(power.name.size());
        if (x > 8 && x + width > layout.width) {
            x = 8;
            y += LEGEND_ROW;
        }
        *out += "<rect x=\"" + number(x) + "\" y=\"" + number(y - 9) + "\" width=\"10\" height=\"10\" fill=\"" +
                power.colour + "\"/><text x=\"" + number(x + 14) + "\" y=\"" + number(y) + "\" font-size=\"10\">" +
                escaped(power.name) + "</text>\n";
        x += width;
    }
    return y + LEGEND_ROW / 2 - layout.height;
}

}  // namespace

std::string board_svg(const Layout &layout, const Map *map, const CentreTable *centres,
                      const Position *position) {
    size_t provinces = layout.provinces.size();
    if (map && map->province_count < provinces) provinces = map->province_count;
    std::vector<int> owner = owners(map, centres, provinces);
    std::string out;

    for (size_t p = 0; p < provinces; p++) {
        const LayoutProvince &province = layout.provinces[p];
        uint16_t terrain = map ? map->provinces[p].terrain : province.terrain;
        bool land = (terrain & TERRAIN_LAND) != 0;
        std::string fill = land ? LAND_FILL : SEA_FILL;
        if (land && owner[p] >= 0) fill = mix(colour_of(layout, owner[p]), LAND_FILL, 3);
        out += "<path class=\"province " + std::string(land ? "land" : "sea") + "\" d=\"" +
               outline_path(province) + "\" fill=\"" + fill +
               "\" fill-rule=\"evenodd\" stroke=\"#5a5a5a\" stroke-width=\"1\"><title>" +
               escaped(province.name) + "</title></path>\n";
    }
    for (size_t p = 0; p < provinces; p++) {
        const LayoutProvince &province = layout.provinces[p];
        out += "<text class=\"label\" x=\"" + number(province.label.x) + "\" y=\"" +
               number(province.label.y - 10) + "\" font-size=\"8\" text-anchor=\"middle\" fill=\"#303030\">" +
               escaped(province.abbreviation) + "</text>\n";
    }
    for (size_t p = 0; p < provinces; p++) {
        bool centre = map ? map->provinces[p].centre_kind != CENTRE_NONE : layout.provinces[p].centre;
        if (!centre) continue;
        LayoutPoint at = layout.provinces[p].centre_mark;
        std::string fill = owner[p] >= 0 ? colour_of(layout, owner[p]) : UNOWNED_FILL;
        out += "<circle class=\"centre\" cx=\"" + number(at.x) + "\" cy=\"" + number(at.y) +
               "\" r=\"4\" fill=\"" + fill + "\" stroke=\"#000000\" stroke-width=\"1\"/>\n";
    }
    if (position && position->map) {
        for (int u = 0; u < position->unit_count && u < MAX_UNITS; u++) {
            const Unit *unit = position->units[u];
            // Build slots stand nowhere and are not drawn.
            if (unit && unit->location && unit->location->location)
                out += unit_mark(layout, position, unit);
        }
    }

    std::string key;
    int32_t height = layout.height + legend(layout, position, &key);
    std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    head += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + number(layout.width) + "\" height=\"" +
            number(height) + "\" viewBox=\"0 0 " + number(layout.width) + " " + number(height) +
            "\" font-family=\"sans-serif\">\n";
    head += "<rect width=\"" + number(layout.width) + "\" height=\"" + number(height) + "\" fill=\"#ffffff\"/>\n";
    return head + out + key + "</svg>\n";
}
