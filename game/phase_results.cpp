// Working out what became of each order: the adjudicator's outcomes,
// worded, and the dislodgements read from the next Position.
#include "game/phase_results.h"

#include "adjudicator/outcomes.h"
#include "world/position.h"
#include "world/season.h"

namespace {

bool is_move(uint16_t token) { return token == ORD_MOVE || token == ORD_CONVOY_MOVE; }

// Whether the army a fleet convoys moved by a route through the fleet's
// province to the landing the fleet convoys it to.
bool carried(const Position *position, uint16_t fleet, const uint16_t *resolutions, uint16_t count) {
    const Unit *unit = position->units[fleet];
    const Order &order = unit->order;
    uint16_t army = position_unit_index(position, order.other_unit);
    if (army == NO_UNIT || army >= count || !unit->location) return false;
    const Order &move = position->units[army]->order;
    if (move.token != ORD_CONVOY_MOVE || resolutions[army] != RES_SUCCESS || move.target != order.target)
        return false;
    for (uint16_t r = 0; r < move.route_length && r < MAX_ROUTE; r++)
        if (move.route[r] == unit->location->province) return true;
    return false;
}

uint16_t movement_outcome(uint16_t token, uint16_t resolution) {
    switch (resolution) {
    case RES_BOUNCE: return OUTCOME_BOUNCED;
    case RES_CUT: return OUTCOME_CUT;
    case RES_NO_SUCH_ORDER: return OUTCOME_NO_SUCH_ORDER;
    case RES_DISLODGED: return OUTCOME_DISLODGED;
    default: break;
    }
    if (is_move(token)) return OUTCOME_MOVED;
    return token == ORD_SUPPORT ? OUTCOME_SUPPORTED : OUTCOME_HELD;
}

}  // namespace

uint16_t order_outcome(const Position *position, uint16_t u, const uint16_t *resolutions, uint16_t count) {
    const Unit *unit = position->units[u];
    uint16_t token = unit->order.token;
    switch (season_phase(position->season)) {
    case Phase::MOVEMENT:
        if (token == ORD_CONVOY)
            return carried(position, u, resolutions, count) ? OUTCOME_CARRIED : OUTCOME_NOT_CARRIED;
        return movement_outcome(token, u < count ? resolutions[u] : RES_SUCCESS);
    case Phase::RETREATS:
        if (!unit->dislodged) return OUTCOME_HELD;
        if (token != ORD_RETREAT) return OUTCOME_DISBANDED;
        return u < count && resolutions[u] == RES_SUCCESS ? OUTCOME_RETREATED : OUTCOME_BOUNCED;
    case Phase::ADJUSTMENTS:
    case Phase::NONE:
        if (token == ORD_BUILD) return OUTCOME_BUILT;
        if (token == ORD_REMOVE) return OUTCOME_REMOVED;
        if (token == ORD_WAIVE || !unit->location) return OUTCOME_WAIVED;
        return OUTCOME_HELD;
    }
    return OUTCOME_HELD;
}

uint16_t phase_results_find(const Position *position, BroxOrderResult results[MAX_UNITS]) {
    uint16_t resolutions[MAX_UNITS];
    uint16_t count = adjudicate_outcomes(position, resolutions, MAX_UNITS);
    return phase_results_word(position, resolutions, count, results);
}

uint16_t phase_results_word(const Position *position, const uint16_t *resolutions, uint16_t count,
                            BroxOrderResult results[MAX_UNITS]) {
    for (uint16_t u = 0; u < count; u++) {
        BroxOrderResult &result = results[u];
        result.resolution = resolutions[u];
        result.outcome = order_outcome(position, u, resolutions, count);
        result.dislodged = 0;
        result.dislodged_by = REFEREE_NO_UNIT;
        result.retreat_count = 0;
    }
    return count;
}

void phase_results_add_next(BroxOrderResult results[MAX_UNITS], const Position *position, const Position *next,
                            const RetreatPlaces places[MAX_UNITS]) {
    if (season_phase(position->season) != Phase::MOVEMENT || next->unit_count != position->unit_count) return;
    for (uint16_t u = 0; u < next->unit_count; u++) {
        BroxOrderResult &result = results[u];
        const Unit *unit = next->units[u];
        if (!unit->dislodged || !unit->location) continue;
        result.dislodged = 1;
        result.retreat_count = places[u].count;
        for (uint16_t r = 0; r < places[u].count; r++) result.retreats[r] = places[u].locations[r];
        // The attacker: the move that succeeded into this unit's province.
        uint16_t home = position_province_index(next, unit->location->province);
        for (uint16_t a = 0; a < position->unit_count; a++) {
            const Order &order = position->units[a]->order;
            if (is_move(order.token) && order.target && results[a].resolution == RES_SUCCESS &&
                position_province_index(position, order.target->province) == home)
                result.dislodged_by = a;
        }
    }
}
