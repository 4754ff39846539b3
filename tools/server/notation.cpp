// Naming seasons, powers, places, units and orders for the record, the
// report and the replay.
#include "tools/server/notation.h"

#include <cstdio>

#include "orders/orders_message.h"
#include "world/map.h"

namespace {

uint16_t unit_type_at(const LocationState *location) {
    return location->coast == COAST_ARMY ? UNIT_ARMY : UNIT_FLEET;
}

std::string type_letter(uint16_t unit_type) { return unit_type == UNIT_FLEET ? "F" : "A"; }

std::string province_abbreviation(const Notation &names, uint16_t index) {
    const Layout &layout = names.layout;
    if (index >= layout.provinces.size()) return std::to_string(index);
    return layout.provinces[index].abbreviation;
}

// The name of a place given by province index and coast.
std::string place_at(const Notation &names, uint16_t index, uint16_t coast) {
    if (index >= names.layout.provinces.size()) return "?" + std::to_string(index);
    const LayoutProvince &province = names.layout.provinces[index];
    for (const LayoutCoast &named : province.coasts)
        if (named.code == coast) return province.abbreviation + "/" + named.name;
    return province.abbreviation;
}

// The name of the place a province token and a coast give, "?" when the
// token names no province of the map.
std::string place_of_token(const Notation &names, uint16_t province_token, uint16_t coast) {
    const Map *map = names.map;
    for (uint16_t p = 0; p < map->province_count && p < names.layout.provinces.size(); p++)
        if (map->provinces[p].token == province_token) return place_at(names, p, coast);
    return "?";
}

// "A STA" from a unit block.
std::string block_name(const Notation &names, const UnitBlock &block) {
    std::string letter = block.unit_type == UNIT_ARMY ? "A" : block.unit_type == UNIT_FLEET ? "F" : "?";
    return letter + " " + place_of_token(names, block.province_token, block.coast);
}

}  // namespace

std::string phase_title(uint16_t season, uint16_t year) {
    std::string name = season_name(season);
    name[0] = static_cast<char>(name[0] - 'a' + 'A');
    return name + " " + std::to_string(year);
}

std::string power_name(const Layout &layout, uint16_t power) {
    if (power < layout.powers.size()) return layout.powers[power].name;
    return "Power " + std::to_string(power);
}

std::string location_name(const Notation &names, const LocationState *location) {
    return location_name(names, location->location->index);
}

std::string location_name(const Notation &names, uint16_t location) {
    if (location >= names.map->location_count) return "?";
    const Location &place = names.map->locations[location];
    return place_at(names, map_province_index(names.map, place.province), place.coast);
}

std::string unit_name(const Notation &names, const Unit *unit) {
    if (!unit->location) return "slot";
    return type_letter(unit_type_at(unit->location)) + " " + location_name(names, unit->location);
}

std::string order_text(const Notation &names, const Unit *unit, const Order &order) {
    std::string target = order.target ? location_name(names, order.target) : "?";
    std::string other = order.other_unit ? unit_name(names, order.other_unit) : "?";
    std::string self = unit_name(names, unit);
    switch (order.token) {
    case ORD_HOLD: return self + " H";
    case ORD_MOVE: return self + " - " + target;
    case ORD_SUPPORT: return self + " S " + other + (order.target ? " - " + target : "");
    case ORD_CONVOY: return self + " C " + other + " - " + target;
    case ORD_CONVOY_MOVE: {
        std::string text = self + " - " + target + " via";
        for (uint16_t r = 0; r < order.route_length && r < MAX_ROUTE; r++)
            text += " " + province_abbreviation(names, map_province_index(names.map, order.route[r]->province));
        return text;
    }
    case ORD_RETREAT: return self + " R " + target;
    case ORD_DISBAND: return self + " D";
    case ORD_BUILD:
        return order.target ? "build " + type_letter(unit_type_at(order.target)) + " " + target : "waive";
    case ORD_REMOVE: return "remove " + self;
    case ORD_WAIVE: return "waive";
    default: return self + " ?";
    }
}

std::string entry_text(const Notation &names, const uint8_t *entry) {
    OrderEntry order = order_entry_read(entry);
    std::string self = block_name(names, order.unit);
    std::string target = place_of_token(names, order.target_province, order.target_coast);
    bool has_target = order.target_province != TARGET_NONE;
    std::string other = block_name(names, order.other);
    switch (order.token) {
    case ORD_HOLD: return self + " H";
    case ORD_MOVE: return self + " - " + target;
    case ORD_SUPPORT: return self + " S " + other + (has_target ? " - " + target : "");
    case ORD_CONVOY: return self + " C " + other + " - " + target;
    case ORD_CONVOY_MOVE: {
        std::string text = self + " - " + target + " via";
        for (uint16_t r = 0; r < order.route_length && r < MAX_ROUTE; r++)
            text += " " + place_of_token(names, order.route[r], COAST_SEA);
        return text;
    }
    case ORD_RETREAT: return self + " R " + target;
    case ORD_DISBAND: return self + " D";
    case ORD_BUILD: return "build " + self;
    case ORD_REMOVE: return "remove " + self;
    case ORD_WAIVE: return "waive";
    default: {
        char word[8];
        std::snprintf(word, sizeof word, "%04X", order.token);
        return self + " (order token 0x" + word + ")";
    }
    }
}
