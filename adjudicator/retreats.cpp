// The retreat phase: retreats into one province all fail, whatever their
// powers; units that disband, stay on hold or bounce are gone.
#include "adjudicator/adjudicator.h"
#include "world/position.h"

namespace {

// A retreat whose target is missing or not in this Position cannot be
// followed: the unit disbands.
const LocationState *retreat_target(const Position *position, const Unit *unit) {
    if (unit->order.token != ORD_RETREAT) return nullptr;
    return position_owns_location(position, unit->order.target) ? unit->order.target : nullptr;
}

}  // namespace

void retreat_results(const Position *position, UnitResult *results) {
    uint16_t count = position->unit_count;
    for (uint16_t u = 0; u < count; u++) results[u] = {RES_SUCCESS, 0, 0};
    for (uint16_t u = 0; u < count; u++) {
        const LocationState *target = retreat_target(position, position->units[u]);
        if (!target) continue;
        for (uint16_t v = u + 1; v < count; v++) {
            const LocationState *other = retreat_target(position, position->units[v]);
            if (other && other->province == target->province)
                results[u].outcome = results[v].outcome = RES_BOUNCE;
        }
    }
}

uint8_t *retreats_next_message(const Position *position) {
    uint16_t count = position->unit_count;
    UnitResult results[MAX_UNITS];
    retreat_results(position, results);
    uint16_t next = position->season == SEASON_SUMMER ? SEASON_FALL : SEASON_WINTER;
    uint8_t *message = next_message_create(count, next, position->year);
    if (!message) return nullptr;
    for (uint16_t u = 0; u < count; u++) {
        const Unit *unit = position->units[u];
        const LocationState *target = retreat_target(position, unit);
        if (target && results[u].outcome == RES_SUCCESS)
            next_message_add_unit(message, position, unit, target, 0);
        else if (!unit->dislodged && unit->location)
            next_message_add_unit(message, position, unit, unit->location, 0);
    }
    return message;
}
