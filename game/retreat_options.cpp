// Working out the retreat options of dislodged units from the orders of a
// movement phase and where the units stand after it.
#include "game/retreat_options.h"

#include "adjudicator/adjudicator.h"
#include "world/map.h"
#include "world/position.h"

namespace {

bool is_move(uint16_t token) { return token == ORD_MOVE || token == ORD_CONVOY_MOVE; }

uint16_t province_of(const Position *position, const LocationState *location) {
    return position_province_index(position, location->province);
}

uint16_t province_at(const Map *map, uint16_t location) {
    return map_province_index(map, map->locations[location].province);
}

// Whether unit u of `before`, ordered to move, stands at its destination
// after the moves.
bool arrived(const Position *before, const Placement *after, uint16_t u) {
    const PlacedUnit &moved = after->units[u];
    return moved.location != NO_LOCATION && !moved.dislodged &&
           province_at(before->map, moved.location) == province_of(before, before->units[u]->order.target);
}

bool same_units(const Position *before, const Placement *after) {
    if (before->unit_count != after->count) return false;
    for (uint16_t u = 0; u < before->unit_count; u++) {
        const Unit *a = before->units[u];
        const PlacedUnit &b = after->units[u];
        if (!a->location || b.location == NO_LOCATION || a->power != b.power) return false;
    }
    return true;
}

// The province the attacker of the unit dislodged in `home` came from: the
// unit that moved into it and stands there now; -1 when none is found.
int attacker_origin(const Position *before, const Placement *after, uint16_t home) {
    int origin = -1;
    for (uint16_t u = 0; u < before->unit_count; u++) {
        const Unit *unit = before->units[u];
        if (is_move(unit->order.token) && unit->order.target && province_of(before, unit->order.target) == home &&
            arrived(before, after, u))
            origin = province_of(before, unit->location);
    }
    return origin;
}

void add_place(RetreatPlaces *places, uint16_t location) {
    for (uint16_t r = 0; r < places->count; r++)
        if (places->locations[r] == location) return;
    if (places->count < MAX_RETREATS) places->locations[places->count++] = location;
}

}  // namespace

void retreat_options_find(const Position *before, const Placement *after, RetreatPlaces places[MAX_UNITS]) {
    for (uint16_t u = 0; u < after->count && u < MAX_UNITS; u++) places[u].count = 0;
    if (!same_units(before, after)) return;
    const Map *map = before->map;

    // Provinces where a move failed against other units, and those a unit
    // stands in after the moves.
    bool bounced[MAX_PROVINCES] = {};
    bool occupied[MAX_PROVINCES] = {};
    for (uint16_t u = 0; u < before->unit_count; u++) {
        const Unit *unit = before->units[u];
        if (!after->units[u].dislodged) occupied[province_at(map, after->units[u].location)] = true;
        if (!is_move(unit->order.token) || !unit->order.target || arrived(before, after, u)) continue;
        // A convoyed move its route did not carry never reached its
        // destination to bounce there; one it did failed as a plain move.
        if (unit->order.token == ORD_CONVOY_MOVE && !convoy_route_holds(before, unit)) continue;
        bounced[province_of(before, unit->order.target)] = true;
    }

    for (uint16_t d = 0; d < after->count; d++) {
        const PlacedUnit &dislodged = after->units[d];
        if (!dislodged.dislodged) continue;
        const Location *here = &map->locations[dislodged.location];
        int origin = attacker_origin(before, after, province_at(map, dislodged.location));
        for (uint16_t a = 0; a < here->adjacent_count; a++) {
            uint16_t province = province_at(map, here->adjacent[a]->index);
            if (occupied[province] || bounced[province] || province == origin) continue;
            add_place(&places[d], here->adjacent[a]->index);
        }
    }
}

void retreat_options_find(const Position *before, const Position *after, RetreatPlaces places[MAX_UNITS]) {
    Placement placement;
    placement_of_position(after, &placement);
    retreat_options_find(before, &placement, places);
}
