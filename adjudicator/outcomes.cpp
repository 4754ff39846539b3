// The per-unit outcomes of a phase, resolved by the same steps that
// brox_adjudicate runs before it composes the next Position, alone or
// with its next-position message.
#include "adjudicator/outcomes.h"

#include "adjudicator/adjudicator.h"
#include "world/season.h"

uint16_t adjudicate_outcomes(const Position *position, uint16_t *outcomes, uint16_t capacity) {
    if (!position || !outcomes || position->unit_count > MAX_UNITS) return 0;
    UnitResult results[MAX_UNITS];
    uint16_t count = position->unit_count;
    switch (season_phase(position->season)) {
    case Phase::MOVEMENT:
        movement_results(position, results);
        break;
    case Phase::RETREATS:
        retreat_results(position, results);
        break;
    case Phase::ADJUSTMENTS:
        for (uint16_t u = 0; u < count; u++) results[u] = {RES_SUCCESS, 0, 0};
        break;
    case Phase::NONE:
        return 0;
    }
    if (count > capacity) count = capacity;
    for (uint16_t u = 0; u < count; u++) outcomes[u] = results[u].outcome;
    return count;
}

uint8_t *adjudicate_message_and_outcomes(const Position *position, uint16_t *outcomes, uint16_t *count) {
    *count = 0;
    if (!position || position->unit_count > MAX_UNITS) return nullptr;
    UnitResult results[MAX_UNITS];
    uint8_t *message = nullptr;
    switch (season_phase(position->season)) {
    case Phase::MOVEMENT:
        message = movement_next_message_results(position, results);
        break;
    case Phase::RETREATS:
        retreat_results(position, results);
        message = retreats_next_message(position);
        break;
    case Phase::ADJUSTMENTS:
        for (uint16_t u = 0; u < position->unit_count; u++) results[u] = {RES_SUCCESS, 0, 0};
        message = adjustments_next_message(position);
        break;
    case Phase::NONE:
        break;
    }
    if (!message) return nullptr;
    *count = position->unit_count;
    for (uint16_t u = 0; u < *count; u++) outcomes[u] = results[u].outcome;
    return message;
}
