// Working out the retreat options of dislodged units from the orders of a
// movement phase and where the units stand after it.
#include "tools/server/retreat_options.h"

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

}  // namespace

RetreatOptions retreat_options_find(const Position *before, const Position *after) {
    RetreatOptions options(after->unit_count);
    if (!same_units(before, after)) return options;
    const uint16_t province_count = before->map->province_count;

    // Provinces where a move failed against other units.
    std::vector<bool> bounced(province_count, false);
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
        uint16_t home = province_of(after, dislodged->location);
        // The province the attacker came from: the unit that moved into
        // this one and stands there now.
        int attacker_origin = -1;
        for (uint16_t u = 0; u < before->unit_count; u++) {
            const Unit *unit = before->units[u];
            if (is_move(unit->order.token) && unit->order.target &&
                province_of(before, unit->order.target) == home && arrived(before, after, u))
                attacker_origin = province_of(before, unit->location);
        }
        const Location *here = dislodged->location->location;
        for (uint16_t a = 0; a < here->adjacent_count; a++) {
            const LocationState *next = &after->locations[here->adjacent[a]->index];
            uint16_t province = province_of(after, next);
            if (next->province->unit || bounced[province] || province == attacker_origin) continue;
            RetreatOption option{province, next->coast};
            bool listed = false;
            for (const RetreatOption &known : options[d])
                listed = listed || (known.province == option.province && known.coast == option.coast);
            if (!listed && options[d].size() < MAX_RETREATS) options[d].push_back(option);
        }
    }
    return options;
}
