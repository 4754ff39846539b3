// The adjustment phase: builds stand at their location with the build
// slot's power and type, waives and removals vanish, every other unit stays.
#include "adjudicator/adjudicator.h"
#include "world/position.h"

// A build whose target is missing or not in this Position, and a build slot
// left on hold (it has no location), count as waives.  A unit with a
// location and any token other than build, waive or remove stays where it
// is.  Each unit is counted and written by the same rule, so the message's
// unit count always equals its entries.
uint8_t *adjustments_next_message(const Position *position) {
    uint8_t *message = next_message_create(position->unit_count, SEASON_SPRING,
                                           static_cast<uint16_t>(position->year + 1));
    if (!message) return nullptr;
    for (uint16_t u = 0; u < position->unit_count; u++) {
        const Unit *unit = position->units[u];
        uint16_t token = unit->order.token;
        if (token == ORD_BUILD) {
            if (position_owns_location(position, unit->order.target))
                next_message_add_unit(message, position, unit, unit->order.target, 0);
        } else if (token != ORD_WAIVE && token != ORD_REMOVE && unit->location) {
            next_message_add_unit(message, position, unit, unit->location, 0);
        }
    }
    return message;
}
