// Text, numbers, colours and points shared by the parts of a board picture.
#include "svg_draw.h"

#include "world/position.h"

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

bool location_point(const Layout &layout, const Position *position, const LocationState *location,
                    LayoutPoint *at) {
    if (!location || !location->province) return false;
    uint16_t p = position_province_index(position, location->province);
    if (p >= layout.provinces.size() || p >= position->map->province_count) return false;
    const LayoutProvince &province = layout.provinces[p];
    *at = province.label;
    for (const LayoutCoast &coast : province.coasts)
        if (coast.code == location->coast) *at = coast.at;
    return true;
}

}  // namespace svg_draw
