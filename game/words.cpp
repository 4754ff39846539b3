// The words of the referee's codes, as the game record writes them.
#include "brox.h"

extern "C" BROX_API const char *brox_outcome_text(uint16_t outcome) {
    switch (outcome) {
    case OUTCOME_HELD: return "held";
    case OUTCOME_MOVED: return "moved";
    case OUTCOME_BOUNCED: return "bounced";
    case OUTCOME_SUPPORTED: return "supported";
    case OUTCOME_CUT: return "cut";
    case OUTCOME_NO_SUCH_ORDER: return "no-such-order";
    case OUTCOME_DISLODGED: return "dislodged";
    case OUTCOME_CARRIED: return "carried";
    case OUTCOME_NOT_CARRIED: return "not-carried";
    case OUTCOME_RETREATED: return "retreated";
    case OUTCOME_DISBANDED: return "disbanded";
    case OUTCOME_BUILT: return "built";
    case OUTCOME_REMOVED: return "removed";
    case OUTCOME_WAIVED: return "waived";
    default: return "?";
    }
}

extern "C" BROX_API const char *brox_refusal_text(uint16_t refusal) {
    switch (refusal) {
    case REFUSAL_NONE: return "taken";
    case REFUSAL_NO_UNIT: return "names no unit of this power that may be ordered";
    case REFUSAL_OTHER_POWER: return "a unit of another power";
    case REFUSAL_SECOND_ORDER: return "a second order for one unit";
    case REFUSAL_NOT_LEGAL: return "not a legal order for this unit";
    case REFUSAL_TOO_MANY_REMOVALS: return "more removals than are due";
    case REFUSAL_NO_SLOT: return "no build slot left";
    case REFUSAL_NOT_A_HOME: return "not a place this power may build in";
    case REFUSAL_SECOND_BUILD: return "a second build in one province";
    case REFUSAL_NOT_ADJUSTMENT: return "not an adjustment";
    case REFUSAL_EARLIER_PHASE: return "orders for an earlier phase";
    case REFUSAL_GAME_OVER: return "the game is over";
    default: return "?";
    }
}

extern "C" BROX_API const char *brox_end_text(uint16_t end) {
    switch (end) {
    case END_NONE: return "the game goes on";
    case END_MAJORITY: return "one power owns more than half the supply centres";
    case END_LAST_YEAR: return "the last year has been played";
    default: return "?";
    }
}
