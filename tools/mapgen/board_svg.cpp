// A picture of a board as SVG: provinces at their outlines (land and sea
// apart, owned land tinted), supply centres coloured by owner, every unit
// of a Position in its power's colour at its location, the phase's orders
// and a legend.  It reads the library's records (Map, CentreTable,
// Position) and a generated layout.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "mapgen.h"
#include "svg_draw.h"
#include "world/map.h"
#include "world/position.h"

using namespace svg_draw;

namespace {

constexpr const char *SEA_FILL = "#a9cce3";
constexpr const char *LAND_FILL = "#eadcb8";
constexpr const char *UNOWNED_FILL = "#f5f5f5";
constexpr const char *TINT_BASE = "#ffffff";
constexpr int TINT_SHARE = 5;  // parts in 10 of the power's colour
constexpr int LEGEND_ROW = 16;

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

size_t drawn_provinces(const Layout &layout, const Map *map) {
    size_t provinces = layout.provinces.size();
    if (map && map->province_count < provinces) provinces = map->province_count;
    return provinces;
}

bool is_land(const Layout &layout, const Map *map, size_t p) {
    uint16_t terrain = map ? map->provinces[p].terrain : layout.provinces[p].terrain;
    return (terrain & TERRAIN_LAND) != 0;
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

std::string province_paths(const Layout &layout, const Map *map, const std::vector<int> *tinted) {
    std::string out;
    for (size_t p = 0; p < drawn_provinces(layout, map); p++) {
        const LayoutProvince &province = layout.provinces[p];
        bool land = is_land(layout, map, p);
        int owner = tinted ? (*tinted)[p] : -1;
        std::string fill = owner >= 0 ? board_owner_tint(layout, owner) : board_plain_fill(layout, map, p);
        out += "<path class=\"province " + std::string(land ? "land" : "sea") + "\" id=\"province-" +
               std::to_string(p) + "\" d=\"" + outline_path(province) + "\" fill=\"" + fill +
               "\" fill-rule=\"evenodd\" stroke=\"#5a5a5a\" stroke-width=\"1\"><title>" + escaped(province.name) +
               "</title></path>\n";
    }
    for (size_t p = 0; p < drawn_provinces(layout, map); p++) {
        const LayoutProvince &province = layout.provinces[p];
        out += "<text class=\"label\" x=\"" + number(province.label.x) + "\" y=\"" +
               number(province.label.y - 10) + "\" font-size=\"8\" text-anchor=\"middle\" fill=\"#303030\">" +
               escaped(province.abbreviation) + "</text>\n";
    }
    return out;
}

std::string centre_marks(const Layout &layout, const Map *map, const std::vector<int> &owner) {
    std::string out;
    for (size_t p = 0; p < owner.size(); p++) {
        bool centre = map ? map->provinces[p].centre_kind != CENTRE_NONE : layout.provinces[p].centre;
        if (!centre) continue;
        LayoutPoint at = layout.provinces[p].centre_mark;
        std::string fill = owner[p] >= 0 ? colour_of(layout, owner[p]) : UNOWNED_FILL;
        out += "<circle class=\"centre\" cx=\"" + number(at.x) + "\" cy=\"" + number(at.y) +
               "\" r=\"4\" fill=\"" + fill + "\" stroke=\"#000000\" stroke-width=\"1\"/>\n";
    }
    return out;
}

// One unit mark: a disc for an army, a hull for a fleet, with its letter;
// a dislodged unit is drawn beside its place with a red dashed rim.
std::string unit_mark(const Layout &layout, const Position *position, const Unit *unit) {
    LayoutPoint at;
    if (!location_point(layout, position, unit->location, &at)) return "";
    uint16_t p = position_province_index(position, unit->location->province);
    const LayoutProvince &province = layout.provinces[p];
    std::string coast_name;
    for (const LayoutCoast &coast : province.coasts)
        if (coast.code == unit->location->coast) coast_name = coast.name;
    bool dislodged = unit->dislodged != 0;
    if (dislodged) at = {at.x + DISLODGED_SHIFT, at.y + DISLODGED_SHIFT};
    bool fleet = unit->unit_type == UNIT_FLEET;
    std::string colour = colour_of(layout, unit->power);
    std::string rim = dislodged ? "stroke=\"#e00000\" stroke-width=\"2\" stroke-dasharray=\"3 2\""
                                : "stroke=\"#000000\" stroke-width=\"1\"";
    std::string out = "<g class=\"unit " + std::string(fleet ? "fleet" : "army") +
                      (dislodged ? " dislodged" : "") + "\">";
    out += "<title>" + escaped(name_of(layout, unit->power)) + (fleet ? " fleet" : " army") +
           (dislodged ? ", dislodged," : "") + " in " + escaped(province.name) +
           (coast_name.empty() ? "" : " (" + escaped(coast_name) + " coast)") + "</title>";
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
               "\" font-size=\"7\" fill=\"#000000\">" + escaped(coast_name.substr(0, 1)) + "c</text>";
    return out + "</g>\n";
}

std::string unit_marks(const Layout &layout, const Position *position) {
    std::string out;
    if (!position || !position->map) return out;
    for (int u = 0; u < position->unit_count && u < MAX_UNITS; u++) {
        const Unit *unit = position->units[u];
        // Build slots stand nowhere and are not drawn.
        if (unit && unit->location && unit->location->location) out += unit_mark(layout, position, unit);
    }
    return out;
}

// The legend below the map: the phase, then each power's swatch (its land
// tint inside, its colour around), name and supply centres, wrapped into
// rows as wide as the map, and with a Position the key of the order marks
// (so that every picture of a game has the same size).  Returns its height.
int32_t legend(const Layout &layout, const Map *map, const CentreTable *centres, const Position *position,
               std::string *out) {
    int32_t x = 8, y = layout.height + LEGEND_ROW;
    *out += "<g class=\"legend\">\n";
    if (position) {
        std::string phase = season_name(position->season) + " " + std::to_string(position->year);
        *out += "<text class=\"phase\" x=\"" + number(x) + "\" y=\"" + number(y) +
                "\" font-size=\"12\" font-weight=\"bold\">" + escaped(phase) + "</text>\n";
        x += 100;
    }
    for (size_t p = 0; p < layout.powers.size(); p++) {
        const LayoutPower &power = layout.powers[p];
        const CentreList *list = map && centres && p < map->power_count ? centres->lists[p] : nullptr;
        std::string count = centres ? " (" + std::to_string(list ? list->count : 0) + ")" : "";
        std::string text = escaped(power.name) + count;
        // Room for up to three digits, so that rows wrap alike in every phase.
        int32_t width = 28 + 7 * static_cast<int32_t>(power.name.size() + (centres ? 6 : 0));
        if (x > 8 && x + width > layout.width) {
            x = 8;
            y += LEGEND_ROW;
        }
        *out += "<g class=\"power\" data-power=\"" + std::to_string(p) + "\"><rect x=\"" + number(x) + "\" y=\"" +
                number(y - 10) + "\" width=\"12\" height=\"12\" fill=\"" + board_owner_tint(layout, static_cast<int>(p)) +
                "\" stroke=\"" + power.colour + "\" stroke-width=\"3\"/><text x=\"" + number(x + 17) + "\" y=\"" +
                number(y) + "\" font-size=\"10\">" + text + "</text></g>\n";
        x += width;
    }
    if (position) {
        y += LEGEND_ROW;
        *out += "<text x=\"8\" y=\"" + number(y) + "\" font-size=\"10\" fill=\"#303030\">"
                "Arrows: moves and retreats; dashed: supports; dotted: convoys.</text>\n";
        y += LEGEND_ROW;
        *out += "<text x=\"8\" y=\"" + number(y) + "\" font-size=\"10\" fill=\"#303030\">"
                "Red cross: the order failed (bounced, cut, no such order, not carried). "
                "Red ring: a unit dislodged.</text>\n";
    }
    *out += "</g>\n";
    return y + LEGEND_ROW / 2 - layout.height;
}

}  // namespace

std::string board_owner_tint(const Layout &layout, int power) {
    return mix(colour_of(layout, power), TINT_BASE, TINT_SHARE);
}

std::string board_plain_fill(const Layout &layout, const Map *map, size_t province) {
    return is_land(layout, map, province) ? LAND_FILL : SEA_FILL;
}

BoardPicture board_picture(const Layout &layout, const Map *map, const CentreTable *centres,
                           const Position *position, const BoardPhase *phase) {
    BoardPicture picture;
    size_t provinces = drawn_provinces(layout, map);
    std::vector<int> owner = owners(map, centres, provinces);
    picture.owners.assign(provinces, -1);
    for (size_t p = 0; p < provinces; p++)
        if (is_land(layout, map, p)) picture.owners[p] = owner[p];
    picture.base = province_paths(layout, map, nullptr);
    picture.overlay = centre_marks(layout, map, owner) + unit_marks(layout, position);
    bool with_orders = phase && position && position->map && !phase->outcomes.empty();
    if (with_orders) picture.overlay += phase_orders(layout, position, *phase);
    std::string key;
    picture.width = layout.width;
    picture.height = layout.height + legend(layout, map, centres, position, &key);
    picture.overlay += key;
    picture.head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    picture.head += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + number(picture.width) + "\" height=\"" +
                    number(picture.height) + "\" viewBox=\"0 0 " + number(picture.width) + " " +
                    number(picture.height) + "\" font-family=\"sans-serif\">\n";
    picture.head += "<rect width=\"" + number(picture.width) + "\" height=\"" + number(picture.height) +
                    "\" fill=\"#ffffff\"/>\n" + order_defs();
    return picture;
}

std::string board_svg(const Layout &layout, const Map *map, const CentreTable *centres,
                      const Position *position, const BoardPhase *phase) {
    BoardPicture picture = board_picture(layout, map, centres, position, phase);
    return picture.head + province_paths(layout, map, &picture.owners) + picture.overlay + "</svg>\n";
}
