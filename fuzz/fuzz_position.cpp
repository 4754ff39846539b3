// Fuzz target: the position reader against a valid Map and CentreTable, in
// every season, then up to six phases adjudicated with orders drawn from
// the candidates, everything freed.  Input: a byte choosing the season, a
// byte choosing the board and its CentreTable (its high bit also runs a
// short agenda search on the first Position, for the power of the byte
// after the message), the position message, then one byte per unit and
// phase choosing its order.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/assignment_message.h"
#include "fuzz_checks.h"
#include "fuzz_input.h"
#include "fuzz_maps.h"
#include "world/position.h"

namespace {

// The five seasons, a word that is no season (built as winter, adjudicated
// to nothing), and the message's own season word.
const uint16_t SEASONS[] = {SEASON_SPRING, SEASON_SUMMER, SEASON_FALL, SEASON_AUTUMN, SEASON_WINTER,
                            POSITION_REQUEST_SEASON};
constexpr uint8_t SEASON_CHOICES = 7;
constexpr int MAX_PHASES = 6;
constexpr uint8_t SEARCH = 0x80;
constexpr int SEARCH_STEPS = 3;
// A search adjudicates once per candidate of the searching power's units:
// kept to small Positions so that the target stays fast.
constexpr uint16_t SEARCH_MAX_UNITS = 12;

uint32_t score_units(Position *position, void *) { return position->unit_count; }

// A few steps of a best-first search for `power`, then everything freed.
void search(Position *position, uint8_t power) {
    Session session;
    std::memset(&session, 0, sizeof session);
    assignment_write(session.assignment, {static_cast<uint16_t>(power << 8), 0});
    Agenda *agenda = brox_agenda_new(position, score_units, nullptr);
    fuzz_require(agenda != nullptr);
    std::vector<AgendaItem *> taken;
    for (int step = 0; step < SEARCH_STEPS && agenda->by_score.last; step++) {
        taken.push_back(static_cast<AgendaItem *>(LUM_AVL_ITEM(&agenda->by_score, agenda->by_score.last)));
        fuzz_require(brox_agenda_step(&session, agenda) == 1);
        fuzz_require(agenda->by_score.count == agenda->by_choice.count);
    }
    brox_agenda_free(agenda);
    for (AgendaItem *item : taken) brox_agenda_item_free(item, 1);
}

const Order *nth_candidate(const Unit *unit, uint32_t n) {
    const LumAvlTree &set = unit->candidates;
    if (!set.count) return nullptr;
    n %= set.count;
    void *item = LUM_AVL_ITEM(&set, set.first);
    while (n-- && item)
        item = lum_avl_next(const_cast<LumAvlTree *>(&set), &static_cast<Order *>(item)->node);
    return static_cast<const Order *>(item);
}

// Each unit's choice byte: 0 keeps the order the builder gave; otherwise
// the low bits pick a candidate, and with the high bit set the candidate
// comes from another unit's set, as a careless bot might give it.
void choose_orders(Position *position, FuzzBytes &choices) {
    for (uint16_t u = 0; u < position->unit_count; u++) {
        uint8_t pick = choices.next();
        if (pick == 0) continue;
        const Unit *source = position->units[u];
        if (pick & 0x80) source = position->units[(u + (pick & 0x7F)) % position->unit_count];
        const Order *order = nth_candidate(source, pick & 0x7F);
        if (order) position->units[u]->order = *order;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzBytes input(data, size);
    uint8_t season_pick = input.next() % SEASON_CHOICES;
    uint8_t board_pick = input.next();
    uint8_t board_choice = board_pick & static_cast<uint8_t>(~SEARCH);
    const FuzzBoard &board = fuzz_board(board_choice);
    CentreTable *centres = board.centres[(board_choice / FUZZ_BOARD_COUNT) & 1];
    std::vector<uint8_t> message = fuzz_message(input.here(), input.left(), MSG_POSITION);
    input.skip(fuzz_declared_length(input.here(), input.left()));
    if (season_pick < 6 && message.size() >= POSITION_UNITS_AT)
        position_message_set_phase(message.data(), {SEASONS[season_pick], position_message_phase(message.data()).year});

    uint16_t held = centres->ref_count;
    Position *position = position_build(board.map, centres, message.data());
    uint8_t searching_power = input.next();
    if (position && (board_pick & SEARCH) && position->unit_count <= SEARCH_MAX_UNITS) {
        fuzz_check_position(position);
        search(position, searching_power);
    }
    for (int phase = 0; position && phase < MAX_PHASES; phase++) {
        fuzz_check_position(position);
        choose_orders(position, input);
        Position *next = brox_adjudicate(position);
        brox_position_free(position);
        position = next;
    }
    if (position) {
        fuzz_check_position(position);
        brox_position_free(position);
    }
    // Every Position built on the board's table has let go of it again.
    fuzz_require(centres->ref_count == held);
    return 0;
}
