// What became of each order of one phase, for the game record and the
// pictures: the adjudicator's outcome of every order, worded, whether each
// unit was dislodged and by whom, and the retreats it was offered.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "brox.h"
#include "tools/server/retreat_options.h"

struct OrderResult {
    uint16_t outcome = RES_SUCCESS;   // the adjudicator's RES_ token
    std::string word;                 // "moved", "bounced", ... (see order_outcome_word)
    bool dislodged = false;           // dislodged by this phase's moves
    uint16_t dislodged_by = 0xFFFF;   // unit index of the attacker, 0xFFFF when none
    std::vector<RetreatOption> retreats; // offered to it in the next phase
};

struct PhaseResults {
    std::vector<OrderResult> units;   // by unit index of the phase's Position
};

// The outcomes of the orders that the Position's Units carry, before the
// Position is adjudicated.  Empty for a season outside the five.
PhaseResults phase_results_find(Position *position);

// Adds what the next Position tells: who was dislodged (in a movement
// phase the next Position lists the same units in the same order), by
// whom, and the retreats offered.
void phase_results_add_next(PhaseResults *results, const Position *position, const Position *next,
                            const RetreatOptions &retreats);

// The outcome of one order in words:
// - spring and fall: hold "held"; move and convoyed move "moved",
//   "bounced" or "no-such-order"; support "supported", "cut",
//   "no-such-order" or "dislodged"; convoy "carried" or "not-carried";
//   a hold whose unit was dislodged "dislodged";
// - summer and autumn: "retreated", "bounced" (retreats into one province:
//   the units are gone), "disbanded"; a unit that was not dislodged "held";
// - winter: "built", "removed", "waived", "held".
std::string order_outcome_word(const Position *position, uint16_t unit, uint16_t outcome,
                               const std::vector<uint16_t> &outcomes);
