// A picture of a board as SVG: provinces at their outlines (land and sea
// apart, owned land tinted), supply centres coloured by owner, every unit
// in its power's colour at its place, the phase's orders, the province
// labels above all of it, and a legend with the key of the marks.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/board/board.h"
#include "tools/board/svg_draw.h"

using namespace svg_draw;

namespace {

constexpr const char *TINT_BASE = "#ffffff";
constexpr int TINT_SHARE = 6;  // parts in 10 of the power's colour
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

std::string outline_path(const LayoutProvince &province) {
    std::string d;
    for (const std::vector<LayoutPoint> &loop : province.outline) {
        for (size_t i = 0; i < loop.size(); i++)
            d += (i ? "L" : "M") + number(loop[i].x) + " " + number(loop[i].y);
        d += "Z";
    }
    return d;
}

bool is_land(const Layout &layout, size_t p) { return (layout.provinces[p].terrain & TERRAIN_LAND) != 0; }

int owner_of(const BoardState &state, size_t province) {
    return province < state.owners.size() ? state.owners[province] : -1;
}

std::string province_paths(const Layout &layout, const std::vector<int> *tinted) {
    std::string out;
    for (size_t p = 0; p < layout.provinces.size(); p++) {
        const LayoutProvince &province = layout.provinces[p];
        int owner = tinted ? (*tinted)[p] : -1;
        std::string fill = owner >= 0 ? board_owner_tint(layout, owner) : board_plain_fill(layout, p);
        out += "<path class=\"province " + std::string(is_land(layout, p) ? "land" : "sea") + "\" id=\"province-" +
               std::to_string(p) + "\" d=\"" + outline_path(province) + "\" fill=\"" + fill +
               "\" fill-rule=\"evenodd\" stroke=\"#5a5a5a\" stroke-width=\"1\"><title>" + escaped(province.name) +
               "</title></path>\n";
    }
    return out;
}

// The abbreviations above the units and the orders, each on a pale halo
// so that it stays readable over a mark or an arrow.
std::string province_labels(const Layout &layout) {
    std::string out = "<g class=\"labels\" font-size=\"8\" text-anchor=\"middle\" fill=\"#303030\" "
                      "stroke=\"#ffffff\" stroke-width=\"2.5\" stroke-opacity=\"0.8\" paint-order=\"stroke\" "
                      "stroke-linejoin=\"round\">\n";
    for (const LayoutProvince &province : layout.provinces)
        out += "<text class=\"label\" x=\"" + number(province.label.x) + "\" y=\"" + number(province.label.y - 10) +
               "\">" + escaped(province.abbreviation) + "</text>\n";
    return out + "</g>\n";
}

std::string centre_marks(const Layout &layout, const BoardState &state) {
    std::string out;
    for (size_t p = 0; p < layout.provinces.size(); p++) {
        if (!layout.provinces[p].centre) continue;
        LayoutPoint at = layout.provinces[p].centre_mark;
        int owner = owner_of(state, p);
        std::string fill = owner >= 0 ? colour_of(layout, owner) : BOARD_UNOWNED_CENTRE;
        out += "<circle class=\"centre\" cx=\"" + number(at.x) + "\" cy=\"" + number(at.y) +
               "\" r=\"4\" fill=\"" + fill + "\" stroke=\"#000000\" stroke-width=\"1\"/>\n";
    }
    return out;
}

// One unit mark: a disc for an army, a hull for a fleet, with its letter;
// a dislodged unit is drawn beside its place with a red dashed rim.
std::string unit_mark(const Layout &layout, const BoardState &state, size_t index) {
    const BoardUnit &unit = state.units[index];
    LayoutPoint at;
    if (!unit_point(layout, state, static_cast<int>(index), &at)) return "";
    const LayoutProvince &province = layout.provinces[unit.place.province];
    std::string coast_name;
    for (const LayoutCoast &coast : province.coasts)
        if (coast.name == unit.place.coast) coast_name = coast.name;
    std::string colour = colour_of(layout, unit.power);
    std::string rim = unit.dislodged ? "stroke=\"" + std::string(BOARD_FAILED) +
                                           "\" stroke-width=\"2\" stroke-dasharray=\"3 2\""
                                     : "stroke=\"#000000\" stroke-width=\"1\"";
    std::string out = "<g class=\"unit " + std::string(unit.fleet ? "fleet" : "army") +
                      (unit.dislodged ? " dislodged" : "") + "\">";
    out += "<title>" + escaped(name_of(layout, unit.power)) + (unit.fleet ? " fleet" : " army") +
           (unit.dislodged ? ", dislodged," : "") + " in " + escaped(province.name) +
           (coast_name.empty() ? "" : " (" + escaped(coast_name) + " coast)") + "</title>";
    if (unit.fleet) {
        int32_t x = at.x, y = at.y;
        out += "<polygon points=\"" + number(x - 9) + "," + number(y - 3) + " " + number(x + 9) + "," +
               number(y - 3) + " " + number(x + 6) + "," + number(y + 5) + " " + number(x - 6) + "," +
               number(y + 5) + "\" fill=\"" + colour + "\" " + rim + "/>";
    } else {
        out += "<circle cx=\"" + number(at.x) + "\" cy=\"" + number(at.y) + "\" r=\"7\" fill=\"" + colour + "\" " +
               rim + "/>";
    }
    out += "<text x=\"" + number(at.x) + "\" y=\"" + number(at.y + 3) +
           "\" font-size=\"8\" font-weight=\"bold\" text-anchor=\"middle\" fill=\"#ffffff\">" +
           (unit.fleet ? "F" : "A") + "</text>";
    if (!coast_name.empty())
        out += "<text x=\"" + number(at.x + 11) + "\" y=\"" + number(at.y + 3) +
               "\" font-size=\"7\" fill=\"#000000\">" + escaped(coast_name.substr(0, 1)) + "c</text>";
    return out + "</g>\n";
}

std::string unit_marks(const Layout &layout, const BoardState &state) {
    std::string out;
    for (size_t u = 0; u < state.units.size(); u++) out += unit_mark(layout, state, u);
    return out;
}

// The key of the order marks, one sample and a few words each, wrapped
// into rows as wide as the map.  Returns the last row's baseline.
int32_t order_key(const Layout &layout, int32_t y, std::string *out) {
    struct Entry {
        std::string sample;  // drawn around (0, 0)
        const char *words;
    };
    auto line = [](const char *style) {
        return "<polyline points=\"-10,0 10,0\" fill=\"none\" stroke=\"#404040\" stroke-width=\"2.5\" " +
               std::string(style) + "/>";
    };
    const std::vector<Entry> entries = {
        {line("marker-end=\"url(#order-arrow)\""), "move or retreat"},
        {line("stroke-dasharray=\"6 3\" marker-end=\"url(#order-arrow)\""), "support"},
        {line("stroke-dasharray=\"1 4\" stroke-linecap=\"round\""), "convoy"},
        {board_cross({0, 0}, 5, BOARD_FAILED), "order failed (bounced, cut, no such order, not carried)"},
        {board_dislodged_mark({0, 0}), "unit dislodged"},
        {board_build_mark({0, 0}, "#404040"), "unit built"},
        {board_cross({0, 0}, 7, REMOVED_COLOUR), "unit removed or disbanded"},
    };
    int32_t x = 8;
    for (const Entry &entry : entries) {
        int32_t width = 46 + 5 * static_cast<int32_t>(std::string(entry.words).size());
        if (x > 8 && x + width > layout.width) {
            x = 8;
            y += LEGEND_ROW + 8;
        }
        *out += "<g class=\"key\" transform=\"translate(" + number(x + 14) + " " + number(y - 4) + ")\">" +
                entry.sample + "<text x=\"26\" y=\"4\" font-size=\"10\" fill=\"#303030\">" + escaped(entry.words) +
                "</text></g>\n";
        x += width;
    }
    return y;
}

// The legend below the map: the phase, then each power's swatch (its land
// tint inside, its colour around), name and supply centres, wrapped into
// rows as wide as the map, and for a phase the key of the marks (so that
// every picture of a game has the same size).  Returns its height.
int32_t legend(const Layout &layout, const BoardState &state, std::string *out) {
    int32_t x = 8, y = layout.height + LEGEND_ROW;
    bool counts = !state.centre_counts.empty();
    *out += "<g class=\"legend\">\n";
    if (!state.phase.empty()) {
        *out += "<text class=\"phase\" x=\"" + number(x) + "\" y=\"" + number(y) +
                "\" font-size=\"12\" font-weight=\"bold\">" + escaped(state.phase) + "</text>\n";
        x += 100;
    }
    for (size_t p = 0; p < layout.powers.size(); p++) {
        const LayoutPower &power = layout.powers[p];
        std::string count = counts ? " (" + std::to_string(p < state.centre_counts.size() ? state.centre_counts[p] : 0) + ")"
                                   : "";
        // Room for up to three digits, so that rows wrap alike in every phase.
        int32_t width = 28 + 7 * static_cast<int32_t>(power.name.size() + (counts ? 6 : 0));
        if (x > 8 && x + width > layout.width) {
            x = 8;
            y += LEGEND_ROW;
        }
        *out += "<g class=\"power\" data-power=\"" + std::to_string(p) + "\"><rect x=\"" + number(x) + "\" y=\"" +
                number(y - 10) + "\" width=\"12\" height=\"12\" fill=\"" +
                board_owner_tint(layout, static_cast<int>(p)) + "\" stroke=\"" + power.colour +
                "\" stroke-width=\"3\"/><text x=\"" + number(x + 17) + "\" y=\"" + number(y) + "\" font-size=\"10\">" +
                escaped(power.name) + count + "</text></g>\n";
        x += width;
    }
    if (!state.phase.empty()) y = order_key(layout, y + LEGEND_ROW + 8, out);
    *out += "</g>\n";
    return y + LEGEND_ROW / 2 + 4 - layout.height;
}

}  // namespace

bool board_outcome_failed(const std::string &outcome) {
    return outcome == "bounced" || outcome == "cut" || outcome == "no-such-order" || outcome == "not-carried" ||
           outcome == "dislodged";
}

// Twenty colours chosen by search: any two differ by at least 15 (CIEDE2000)
// at full strength and 10 as land tints, none lies within 25 of the red of
// failures or 22 of the sea, no tint comes near the sea, the land or an
// unowned centre, and none is a grey or a red from crimson to red-orange.
// The first seven differ by at least 33.
std::string board_power_colour(int power) {
    static constexpr const char *COLOURS[MAX_POWERS] = {
        "#006655", "#dd77aa", "#bb8800", "#440088", "#0077ee", "#55bb00", "#553300",
        "#aa33ff", "#556600", "#552244", "#003366", "#00bb88", "#004400", "#3344dd",
        "#aaaa00", "#dd77ff", "#885599", "#997755", "#008800", "#dd0099"};
    return COLOURS[(power % MAX_POWERS + MAX_POWERS) % MAX_POWERS];
}

std::string board_owner_tint(const Layout &layout, int power) {
    return mix(colour_of(layout, power), TINT_BASE, TINT_SHARE);
}

std::string board_plain_fill(const Layout &layout, size_t province) {
    return province < layout.provinces.size() && is_land(layout, province) ? BOARD_LAND_FILL : BOARD_SEA_FILL;
}

BoardPicture board_picture(const Layout &layout, const BoardState &state) {
    BoardPicture picture;
    size_t provinces = layout.provinces.size();
    picture.owners.assign(provinces, -1);
    for (size_t p = 0; p < provinces; p++)
        if (is_land(layout, p)) picture.owners[p] = owner_of(state, p);
    picture.base = province_paths(layout, nullptr);
    picture.overlay = centre_marks(layout, state) + unit_marks(layout, state) + phase_orders(layout, state);
    picture.labels = province_labels(layout);
    std::string key;
    picture.width = layout.width;
    picture.height = layout.height + legend(layout, state, &key);
    picture.overlay += key;
    picture.head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    picture.head += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + number(picture.width) + "\" height=\"" +
                    number(picture.height) + "\" viewBox=\"0 0 " + number(picture.width) + " " +
                    number(picture.height) + "\" font-family=\"sans-serif\">\n";
    picture.head += "<rect width=\"" + number(picture.width) + "\" height=\"" + number(picture.height) +
                    "\" fill=\"#ffffff\"/>\n" + order_defs();
    return picture;
}

std::string board_svg(const Layout &layout, const BoardState &state) {
    BoardPicture picture = board_picture(layout, state);
    return picture.head + province_paths(layout, &picture.owners) + picture.overlay + picture.labels + "</svg>\n";
}
