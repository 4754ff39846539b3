// Working out the retreat options of dislodged units from the orders of a
// movement phase and where the units stand after it.
#include "game/retreat_options.h"

#include "adjudicator/adjudicator.h"
#include "world/position.h"

namespace {

bool is_move(uint16_t token) { return token == ORD_MOVE || token == ORD_CONVOY_MOVE; }

uint16_t province_of(const Position *position, const LocationState *location) {
    return position_province_index(position, location->province);
}

// Whether unit u of `before`, ordered to move, is found at its destination
// in `after`.
bool arrived(const Position *before, const Position *after, uint16_t u) {
    const Unit *mover = before->units[u];
    const Unit *moved = after->units[u];
    return moved->location && !moved->dislodged &&
           province_of(after, moved->location) == province_of(before, mover->order.target);
}

bool same_units(const Position *before, const Position *after) {
    if (before->unit_count != after->unit_count) return false;
    for (uint16_t u = 0; u < before->unit_count; u++) {
        const Unit *a = before->units[u];
        const Unit *b = after->units[u];
        if (!a->location || !b->location || a->power != b->power) return false;
    }
    return true;
}

// The province the attacker of the unit dislodged in `home` came from: the
// unit that moved into it and stands there now; -1 when none is found.
int attacker_origin(const Position *before, const Position *after, uint16_t home) {
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

void retreat_options_find(const Position *before, const Position *after, RetreatPlaces places[MAX_UNITS]) {
    for (uint16_t u = 0; u < after->unit_count && u < MAX_UNITS; u++) places[u].count = 0;
    if (!same_units(before, after)) return;

    // Provinces where a move failed against other units.
    bool bounced[MAX_PROVINCES] = {};
    for (uint16_t u = 0; u < before->unit_count; u++) {
        const Unit *unit = before->units[u];
        if (!is_move(unit->order.token) || !unit->order.target || arrived(before, after, u)) continue;
        // A convoyed move its route did not carry never reached its
        // destination to bounce there; one it did failed as a plain move.
        if (unit->order.token == ORD_CONVOY_MOVE && !convoy_route_holds(before, unit)) continue;
        bounced[province_of(before, unit->order.target)] = true;
    }

    for (uint16_t d = 0; d < after->unit_count; d++) {
        const Unit *dislodged = after->units[d];
        if (!dislodged->dislodged) continue;
        int origin = attacker_origin(before, after, province_of(after, dislodged->location));
        const Location *here = dislodged->location->location;
        for (uint16_t a = 0; a < here->adjacent_count; a++) {
            const LocationState *next = &after->locations[here->adjacent[a]->index];
            uint16_t province = province_of(after, next);
            if (next->province->unit || bounced[province] || province == origin) continue;
            add_place(&places[d], here->adjacent[a]->index);
        }
    }
}
