// Working out what became of each order: the adjudicator's outcomes,
// worded, and the dislodgements read from the next Position.
#include "tools/server/phase_results.h"

#include "adjudicator/outcomes.h"
#include "world/position.h"
#include "world/season.h"

namespace {

bool is_move(uint16_t token) { return token == ORD_MOVE || token == ORD_CONVOY_MOVE; }

// Whether the army a fleet convoys moved by a route through the fleet's
// province to the landing the fleet convoys it to.
bool carried(const Position *position, uint16_t fleet, const std::vector<uint16_t> &outcomes) {
    const Unit *unit = position->units[fleet];
    const Order &order = unit->order;
    uint16_t army = position_unit_index(position, order.other_unit);
    if (army == NO_UNIT || army >= outcomes.size() || !unit->location) return false;
    const Order &move = position->units[army]->order;
    if (move.token != ORD_CONVOY_MOVE || outcomes[army] != RES_SUCCESS || move.target != order.target) return false;
    for (uint16_t r = 0; r < move.route_length && r < MAX_ROUTE; r++)
        if (move.route[r] == unit->location->province) return true;
    return false;
}

const char *movement_word(uint16_t token, uint16_t outcome) {
    switch (outcome) {
    case RES_BOUNCE: return "bounced";
    case RES_CUT: return "cut";
    case RES_NO_SUCH_ORDER: return "no-such-order";
    case RES_DISLODGED: return "dislodged";
    default: break;
    }
    if (is_move(token)) return "moved";
    return token == ORD_SUPPORT ? "supported" : "held";
}

}  // namespace

std::string order_outcome_word(const Position *position, uint16_t u, uint16_t outcome,
                               const std::vector<uint16_t> &outcomes) {
    const Unit *unit = position->units[u];
    uint16_t token = unit->order.token;
    switch (season_phase(position->season)) {
    case Phase::MOVEMENT:
        if (token == ORD_CONVOY) return carried(position, u, outcomes) ? "carried" : "not-carried";
        return movement_word(token, outcome);
    case Phase::RETREATS:
        if (!unit->dislodged) return "held";
        if (token != ORD_RETREAT) return "disbanded";
        return outcome == RES_SUCCESS ? "retreated" : "bounced";
    case Phase::ADJUSTMENTS:
    case Phase::NONE:
        if (token == ORD_BUILD) return "built";
        if (token == ORD_REMOVE) return "removed";
        if (token == ORD_WAIVE || !unit->location) return "waived";
        return "held";
    }
    return "held";
}

PhaseResults phase_results_find(Position *position) {
    PhaseResults results;
    std::vector<uint16_t> outcomes(MAX_UNITS, RES_SUCCESS);
    uint16_t count = adjudicate_outcomes(position, outcomes.data(), MAX_UNITS);
    outcomes.resize(count);
    results.units.resize(count);
    for (uint16_t u = 0; u < count; u++) {
        results.units[u].outcome = outcomes[u];
        results.units[u].word = order_outcome_word(position, u, outcomes[u], outcomes);
    }
    return results;
}

void phase_results_add_next(PhaseResults *results, const Position *position, const Position *next,
                            const RetreatOptions &retreats) {
    bool movement = season_phase(position->season) == Phase::MOVEMENT;
    if (!movement || next->unit_count != position->unit_count || results->units.size() != position->unit_count)
        return;
    for (uint16_t u = 0; u < next->unit_count; u++) {
        OrderResult &result = results->units[u];
        const Unit *unit = next->units[u];
        if (!unit->dislodged || !unit->location) continue;
        result.dislodged = true;
        if (u < retreats.size()) result.retreats = retreats[u];
        // The attacker: the move that succeeded into this unit's province.
        uint16_t home = position_province_index(next, unit->location->province);
        for (uint16_t a = 0; a < position->unit_count; a++) {
            const Order &order = position->units[a]->order;
            if (is_move(order.token) && order.target && results->units[a].outcome == RES_SUCCESS &&
                position_province_index(position, order.target->province) == home)
                result.dislodged_by = a;
        }
    }
}
