// The adjudicator's entry point: the phase a Position's season starts, its
// next-position message, and the Position built from it.
#include "adjudicator/adjudicator.h"
#include "world/season.h"

// A word that is not a season, and a Position whose unit count is beyond
// its capacity, adjudicate to nothing.
uint8_t *adjudicate_next_message(const Position *position) {
    if (position->unit_count > MAX_UNITS) return nullptr;
    switch (season_phase(position->season)) {
    case Phase::MOVEMENT:
        return movement_next_message(position);
    case Phase::RETREATS:
        return retreats_next_message(position);
    case Phase::ADJUSTMENTS:
        return adjustments_next_message(position);
    case Phase::NONE:
        break;
    }
    return nullptr;
}

// Reads the Position and returns a new one: the argument is left as it was.
extern "C" BROX_API Position *brox_adjudicate(Position *position) {
    if (!position) return nullptr;
    uint8_t *message = adjudicate_next_message(position);
    if (!message) return nullptr;
    Position *next = next_position_build(position, message);
    next_message_release(message);
    return next;
}
