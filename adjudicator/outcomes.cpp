// The per-unit outcomes of a phase, resolved by the same steps that
// brox_adjudicate runs before it composes the next Position.
#include "adjudicator/outcomes.h"

#include "adjudicator/adjudicator.h"

uint16_t adjudicate_outcomes(Position *position, uint16_t *outcomes, uint16_t capacity) {
    if (!position || !outcomes) return 0;
    UnitResult results[MAX_UNITS];
    uint16_t count = position->unit_count < MAX_UNITS ? position->unit_count : uint16_t{MAX_UNITS};
    switch (position->season) {
    case SEASON_SPRING:
    case SEASON_FALL:
        movement_results(position, results);
        break;
    case SEASON_SUMMER:
    case SEASON_AUTUMN:
        retreat_results(position, results);
        break;
    case SEASON_WINTER:
        for (uint16_t u = 0; u < count; u++) results[u] = {RES_SUCCESS, 0, 0};
        break;
    default:
        return 0;
    }
    if (count > capacity) count = capacity;
    for (uint16_t u = 0; u < count; u++) outcomes[u] = results[u].outcome;
    return count;
}
