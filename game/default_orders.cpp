// Filling in the orders nobody gave: holds, disbands, waives, and the
// removals a power owes but did not order.
#include "game/default_orders.h"

#include "world/order.h"
#include "world/map.h"
#include "world/position.h"

namespace {

// Whether unit a goes before unit b when the referee removes: farther
// first, then fleets, then the lower province index.
bool removed_before(const Position *position, const Unit *a, const Unit *b) {
    const Map *map = position->map;
    uint16_t province_a = position_province_index(position, a->location->province);
    uint16_t province_b = position_province_index(position, b->location->province);
    uint16_t distance_a = removal_distance(map, a->power, province_a);
    uint16_t distance_b = removal_distance(map, b->power, province_b);
    if (distance_a != distance_b) return distance_a > distance_b;
    bool fleet_a = a->location->coast != COAST_ARMY;
    bool fleet_b = b->location->coast != COAST_ARMY;
    if (fleet_a != fleet_b) return fleet_a;
    return province_a < province_b;
}

// Orders `missing` more of the power's units removed, best first.
void remove_for(Position *position, uint16_t power, uint16_t missing) {
    for (; missing > 0; missing--) {
        Unit *pick = nullptr;
        for (uint16_t u = 0; u < position->unit_count; u++) {
            Unit *unit = position->units[u];
            if (unit->power != power || !unit->location || unit->order.token == ORD_REMOVE) continue;
            if (!pick || removed_before(position, unit, pick)) pick = unit;
        }
        if (!pick) return;
        order_set(&pick->order, ORD_REMOVE, nullptr, nullptr);
    }
}

}  // namespace

uint16_t removal_distance(const Map *map, uint16_t power, uint16_t province) {
    const Province &here = map->provinces[province];
    if (here.centre_kind == CENTRE_HOME && here.home_power == power) return 0;
    return map->home_distance[power][province];
}

void default_removals(Position *position) {
    for (uint16_t p = 0; p < position->map->power_count; p++) {
        int16_t adjustment = position->adjustment[p];
        if (adjustment >= 0) continue;
        int ordered = 0;
        for (uint16_t u = 0; u < position->unit_count; u++) {
            const Unit *unit = position->units[u];
            ordered += unit->power == p && unit->location && unit->order.token == ORD_REMOVE;
        }
        int missing = -adjustment - ordered;
        if (missing > 0) remove_for(position, p, static_cast<uint16_t>(missing));
    }
}

void apply_phase_orders(Position *position, const PhaseOrders *orders) {
    for (uint16_t u = 0; u < position->unit_count; u++) {
        Unit *unit = position->units[u];
        if (orders->from_bot[u]) {
            unit->order = orders->chosen[u];
            continue;
        }
        uint16_t token = !unit->location ? ORD_WAIVE : unit->dislodged ? ORD_DISBAND : ORD_HOLD;
        order_set(&unit->order, token, nullptr, nullptr);
    }
    if (position->season == SEASON_WINTER) default_removals(position);
}
