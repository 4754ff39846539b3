// Text, numbers, colours and points shared by the parts of a board picture.
#include "tools/board/svg_draw.h"

namespace svg_draw {

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

std::string colour_of(const Layout &layout, int power) {
    if (power >= 0 && static_cast<size_t>(power) < layout.powers.size())
        return layout.powers[static_cast<size_t>(power)].colour;
    return "#808080";
}

std::string name_of(const Layout &layout, int power) {
    if (power >= 0 && static_cast<size_t>(power) < layout.powers.size())
        return layout.powers[static_cast<size_t>(power)].name;
    return "Power " + std::to_string(power);
}

bool covered(const Layout &layout, const BoardPlace &place) { return place.province < layout.provinces.size(); }

bool place_point(const Layout &layout, const BoardPlace &place, LayoutPoint *at) {
    if (!covered(layout, place)) return false;
    const LayoutProvince &province = layout.provinces[place.province];
    *at = province.label;
    for (const LayoutCoast &coast : province.coasts)
        if (!place.coast.empty() && coast.name == place.coast) *at = coast.at;
    return true;
}

bool unit_point(const Layout &layout, const BoardState &state, int unit, LayoutPoint *at) {
    if (unit < 0 || static_cast<size_t>(unit) >= state.units.size()) return false;
    const BoardUnit &drawn = state.units[static_cast<size_t>(unit)];
    if (!place_point(layout, drawn.place, at)) return false;
    if (drawn.dislodged) *at = {at->x + DISLODGED_SHIFT, at->y + DISLODGED_SHIFT};
    return true;
}

}  // namespace svg_draw
