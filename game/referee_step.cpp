// Resolving a phase: the orders as used, their outcomes, the retreats
// offered, the next phase and the end of the game; and what the phase last
// resolved left behind.
#include <cstdio>
#include <cstring>

#include "adjudicator/adjudicator.h"
#include "adjudicator/outcomes.h"
#include "common/memory.h"
#include "game/default_orders.h"
#include "game/phase_results.h"
#include "game/placement.h"
#include "game/referee.h"
#include "game/retreat_options.h"
#include "world/position.h"
#include "world/season.h"

namespace {

// Everything a step works out before anything of the referee changes, so
// that a step that runs out of memory leaves the game as it was.
struct Resolution {
    Position *next;                      // the next phase
    uint16_t result_count;
    uint8_t due[MAX_POWERS];
    BroxOrderResult results[MAX_UNITS];
    uint16_t resolutions[MAX_UNITS];     // the adjudicator's RES_ token of each order
    Placement placement;                 // where the units of the next phase stand
    RetreatPlaces places[MAX_UNITS];     // by unit index of the next phase
    size_t message_size;
    uint8_t message[PHASE_POSITION_CAPACITY];
};

// The next phase as bots receive it: the message bots get, written from
// the adjudicator's (the retreats offered added, each unit's type following
// its place), and the Position built once from it.
Position *next_position(const Position *position, const uint8_t *adjudicated, Resolution *at) {
    placement_of_message(position->map, adjudicated, &at->placement);
    for (uint16_t u = 0; u < MAX_UNITS; u++) at->places[u].count = 0;
    bool retreats = season_phase(at->placement.season) == Phase::RETREATS;
    if (retreats) retreat_options_find(position, &at->placement, at->places);
    at->message_size = phase_position_message(position->map, &at->placement, retreats ? at->places : nullptr,
                                              at->message);
    // A winter with nothing to adjust turns into the next spring, in the
    // message too.
    return next_position_build(position, at->message);
}

bool resolve(BroxReferee *referee, Resolution *at) {
    Position *position = referee->position;
    const PhaseOrders *orders = referee->current;
    for (uint16_t p = 0; p < referee->map->power_count; p++) at->due[p] = referee_orders_due(position, p);
    apply_phase_orders(position, orders);
    uint16_t count = 0;
    uint8_t *adjudicated = adjudicate_message_and_outcomes(position, at->resolutions, &count);
    if (!adjudicated) return false;
    at->result_count = phase_results_word(position, at->resolutions, count, at->results);
    // An order the power gave counts as its own unless the referee replaced
    // it (a unit it kept but had to lose).
    for (uint16_t u = 0; u < at->result_count; u++)
        at->results[u].from_bot = orders->from_bot[u] && position->units[u]->order.token == orders->chosen[u].token;
    at->next = next_position(position, adjudicated, at);
    next_message_release(adjudicated);
    if (!at->next) return false;
    phase_results_add_next(at->results, position, at->next, at->places);
    return true;
}

// The phase resolved becomes the last one and the next one current.
void commit(BroxReferee *referee, Resolution *at) {
    bool new_ownership = at->next->centres != referee->position->centres;
    if (referee->last) brox_position_free(referee->last);
    referee->last = referee->position;
    referee->position = at->next;
    PhaseOrders *resolved = referee->current;
    referee->current = referee->previous;
    referee->previous = resolved;
    phase_orders_clear(referee->current);
    referee->result_count = at->result_count;
    std::memcpy(referee->results, at->results, sizeof(BroxOrderResult) * at->result_count);
    std::memcpy(referee->last_due, at->due, sizeof at->due);
    std::memcpy(referee->position_message, at->message, at->message_size);
    referee->position_size = at->message_size;
    if (new_ownership)
        referee->centres_size = phase_centres_message(referee->map, at->next->centres, referee->centres_message);
}

uint16_t end_reason(const BroxReferee *referee) {
    const Position *position = referee->position;
    if (referee_majority(position) != POWER_NONE) return END_MAJORITY;
    if (referee->end_year && position->season == SEASON_SPRING && position->year >= referee->end_year)
        return END_LAST_YEAR;
    return END_NONE;
}

// Says why the step from the current phase failed: lack of memory only when
// an allocation was refused during it.
void note_failure(BroxReferee *referee, bool memory_ran_out) {
    const Position *position = referee->position;
    if (memory_ran_out)
        std::snprintf(referee->failure, sizeof referee->failure, "out of memory");
    else
        std::snprintf(referee->failure, sizeof referee->failure,
                      "no next position could be built from the %s %u phase", season_name(position->season),
                      position->year);
}

}  // namespace

extern "C" BROX_API int brox_referee_step(BroxReferee *referee) {
    if (!referee) return 0;
    if (referee->over) {
        std::snprintf(referee->failure, sizeof referee->failure, "the game is over");
        return 0;
    }
    referee->failure[0] = 0;
    unsigned long refused_before = mem_failures();
    // About 40 KB of working records: on the heap, not the caller's stack.
    Resolution *at = static_cast<Resolution *>(mem_alloc(sizeof(Resolution)));
    bool resolved = at && resolve(referee, at);
    if (resolved) {
        commit(referee, at);
        referee->over = end_reason(referee);
    } else {
        note_failure(referee, mem_failures() != refused_before);
    }
    mem_release(at);
    return resolved ? 1 : 0;
}

extern "C" BROX_API const char *brox_referee_failure(const BroxReferee *referee) {
    return referee && referee->failure[0] ? referee->failure : nullptr;
}

// ---------------------------------------------------------------------------
// The phase last resolved
// ---------------------------------------------------------------------------

extern "C" BROX_API Position *brox_referee_last_position(const BroxReferee *referee) {
    return referee ? referee->last : nullptr;
}

extern "C" BROX_API int brox_referee_last_result(const BroxReferee *referee, uint16_t unit, BroxOrderResult *out) {
    if (!referee || !out || !referee->last || unit >= referee->result_count) return 0;
    *out = referee->results[unit];
    return 1;
}

extern "C" BROX_API int brox_referee_last_orders(const BroxReferee *referee, uint16_t power, BroxPowerOrders *out) {
    if (!referee || !out || !referee->last || power >= referee->map->power_count) return 0;
    const PhaseOrders *orders = referee->previous;
    const PowerTally &tally = orders->powers[power];
    const Position *last = referee->last;
    *out = BroxPowerOrders{};
    out->due = referee->last_due[power];
    out->received = tally.received;
    out->entries = tally.entries;
    out->refused = static_cast<uint16_t>(tally.refused + tally.late_refused);
    out->refusals = tally.kept;
    for (uint16_t u = 0; u < last->unit_count; u++) {
        if (!orders->from_bot[u] || last->units[u]->power != power) continue;
        out->builds += orders->chosen[u].token == ORD_BUILD;
        out->removals += orders->chosen[u].token == ORD_REMOVE;
    }
    return 1;
}

extern "C" BROX_API int brox_referee_last_refusal(const BroxReferee *referee, uint16_t power, uint16_t index,
                                                  BroxRefusal *out) {
    if (!referee || !out || !referee->last || power >= referee->map->power_count) return 0;
    const RefusalEntry *entry = phase_orders_refusal(referee->previous, power, index);
    if (!entry) return 0;
    out->entry = entry->entry;
    out->refusal = entry->reason;
    out->bytes = entry->bytes;
    return 1;
}
