// Every exported call given a bad argument: null pointers, indices beyond
// the Position, Orders that are not the unit's candidates or belong to
// another Position, agenda items of another agenda or Position.  Each is
// refused as the header says, and nothing is sent, built, freed or leaked
// on the way.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "boards.h"
#include "common/assignment_message.h"
#include "common/event_record.h"
#include "common/record.h"
#include "doubles.h"
#include "orders/orders_message.h"
#include "session/join_message.h"
#include "temp_dir.h"
#include "world.h"

namespace {

using Bytes = std::vector<uint8_t>;

const board::Board &grid() { return grid_board(); }

// A session as the library leaves it after an assignment for `power`.
Session assigned_session(uint16_t power) {
    Session session{};
    assignment_write(session.assignment, {static_cast<uint16_t>((power << 8) | 0x41), 0});
    return session;
}

uint32_t score_zero(Position *, void *) { return 0; }

struct AgendaFree {
    void operator()(Agenda *agenda) const { brox_agenda_free(agenda); }
};
using AgendaPtr = std::unique_ptr<Agenda, AgendaFree>;

AgendaItem *best(Agenda *agenda) {
    return static_cast<AgendaItem *>(LUM_AVL_ITEM(&agenda->by_score, agenda->by_score.last));
}

class BadArguments : public ::testing::Test {
  protected:
    void SetUp() override { fake_client::reset(); }
    void TearDown() override { fake_client::reset(); }
};

// ---------------------------------------------------------------------------
// Session calls
// ---------------------------------------------------------------------------

TEST_F(BadArguments, SessionCallsRefuseANullSessionWithoutConnectingOrSending) {
    TempDir dir;
    EXPECT_EQ(brox_initialise(nullptr, nullptr), 0);
    EXPECT_EQ(brox_game_join(nullptr, "bot", "1.0"), 0);
    EXPECT_EQ(fake_client::connect_calls(), 0);

    uint8_t stop[1] = {KIND_STOP_A};
    int keep = 7, release = 7;
    brox_process_msg(nullptr, stop, &keep, &release);
    EXPECT_EQ(keep, 1);
    EXPECT_EQ(release, 1);
    Session session{};
    ASSERT_EQ(brox_initialise(&session, nullptr), 1);
    keep = release = 7;
    brox_process_msg(&session, nullptr, &keep, &release);
    EXPECT_EQ(keep, 1);
    EXPECT_EQ(release, 1);
    brox_process_msg(&session, stop, nullptr, nullptr);  // the flags are optional
    EXPECT_TRUE(fake_client::sent().empty());

    brox_terminate(nullptr);
    brox_terminate(&session);
    brox_terminate(&session);  // a second time does nothing more
    EXPECT_EQ(session.map, nullptr);
}

TEST_F(BadArguments, AJoinWithNullTextsSendsEmptyOnes) {
    TempDir dir;
    Session session{};
    brox_initialise(&session, nullptr);
    ASSERT_NE(brox_game_join(&session, nullptr, nullptr), 0);
    ASSERT_EQ(fake_client::sent().size(), 1u);
    const Bytes &join = fake_client::sent()[0];
    ASSERT_EQ(join.size(), 137u);
    EXPECT_EQ(board::record_type(join), MSG_JOIN);
    JoinTexts texts = join_read(record_message(join.data()));
    EXPECT_STREQ(texts.name, "");
    EXPECT_STREQ(texts.version, "");
}

// The two reading helpers never read past what a record or a session holds.
TEST_F(BadArguments, PowerAndRecordTypeAnswerNothingForWhatHoldsNoneOfThem) {
    EXPECT_EQ(brox_session_power(nullptr), POWER_NONE);
    Session session{};
    EXPECT_EQ(brox_session_power(&session), POWER_NONE);  // no assignment yet
    session = assigned_session(19);
    EXPECT_EQ(brox_session_power(&session), 19);  // no Map to compare with yet
    session = assigned_session(20);
    EXPECT_EQ(brox_session_power(&session), POWER_NONE);
    World world(grid());
    session = assigned_session(3);
    session.map = world.map;  // three powers
    EXPECT_EQ(brox_session_power(&session), POWER_NONE);
    session = assigned_session(2);
    session.map = world.map;
    EXPECT_EQ(brox_session_power(&session), 2);

    EXPECT_EQ(brox_record_type(nullptr), 0);
    const EventRecord event = event_record_make({0, EVENT_CONNECT});
    const uint8_t stop[1] = {KIND_STOP_B};
    uint8_t position[RECORD_MIN_MESSAGE_SIZE] = {};
    msg_init(position, MSG_POSITION, MSG_HEADER_SIZE);
    EXPECT_EQ(brox_record_type(event.data()), 0);
    EXPECT_EQ(brox_record_type(stop), 0);
    EXPECT_EQ(brox_record_type(position), MSG_POSITION);
}

TEST_F(BadArguments, RandomRangeTakesItsBoundsInEitherOrderAndAnySpan) {
    for (int i = 0; i < 50; i++) {
        uint16_t swapped = brox_rand(12, 10);
        EXPECT_GE(swapped, 10);
        EXPECT_LE(swapped, 12);
    }
    // The whole range ends (a span above 32767 never passes the ordinary
    // acceptance test) and is not stuck at its lower bound.
    bool above = false;
    for (int i = 0; i < 20; i++) above = above || brox_rand(0, 65535) > 32767;
    EXPECT_TRUE(above);
    EXPECT_EQ(brox_rand(7, 7), 7);
}

TEST_F(BadArguments, AGofThatCannotBeSentSaysSo) {
    fake_client::fail_all_sends(true);
    EXPECT_EQ(brox_build_send_gof(0x12345678), 0);
    fake_client::fail_all_sends(false);
    EXPECT_NE(brox_build_send_gof(0x12345678), 0);
}

// ---------------------------------------------------------------------------
// Positions, adjudication, candidates and submission
// ---------------------------------------------------------------------------

TEST_F(BadArguments, PositionsAndAdjudicationRefuseWhatTheyCannotFollow) {
    brox_position_free(nullptr);
    brox_position_free_order(nullptr, nullptr);
    EXPECT_EQ(brox_adjudicate(nullptr), nullptr);

    World world(grid(), "0: A B; 1: C");
    Position *spring = world.position(SEASON_SPRING, "0 A A; 1 A C");
    long before = test_memory::live_blocks();
    spring->season = POSITION_REQUEST_SEASON;
    EXPECT_EQ(brox_adjudicate(spring), nullptr);
    spring->season = SEASON_SPRING;
    uint16_t units = spring->unit_count;
    spring->unit_count = MAX_UNITS + 1;
    EXPECT_EQ(brox_adjudicate(spring), nullptr);
    spring->unit_count = units;
    EXPECT_EQ(test_memory::live_blocks(), before);

    // Orders copied from another Position of the same board: a move whose
    // target lies there, and a support for a unit there, count as holds.
    Position *other = world.position(SEASON_SPRING, "0 A A; 1 A C");
    world.choose(other->units[0], "MOVE B");
    world.choose(other->units[1], "SUPPORT A A -> B");
    spring->units[0]->order = other->units[0]->order;
    spring->units[1]->order = other->units[1]->order;
    EXPECT_EQ(world.describe(world.next(spring)), "fall 1901: 0 A A; 1 A C");
}

TEST_F(BadArguments, ACandidateWalkEndsAtAnythingThatIsNotTheUnitsOwnCandidate) {
    World world(grid(), "0: A B; 1: C");
    Position *spring = world.position(SEASON_SPRING, "0 A A; 1 A C");
    Unit *unit = spring->units[0];
    Unit *other = spring->units[1];
    EXPECT_EQ(brox_candidate_first(nullptr), nullptr);
    Order *first = brox_candidate_first(unit);
    ASSERT_NE(first, nullptr);
    EXPECT_NE(brox_candidate_next(unit, first), nullptr);
    EXPECT_EQ(brox_candidate_next(nullptr, first), nullptr);
    EXPECT_EQ(brox_candidate_next(unit, nullptr), nullptr);
    unit->order = *first;
    EXPECT_EQ(brox_candidate_next(unit, &unit->order), nullptr);  // a copy
    EXPECT_EQ(brox_candidate_next(unit, brox_candidate_first(other)), nullptr);

    Position *summer = world.position(SEASON_SUMMER, "0 A A; 1 A C");
    EXPECT_EQ(brox_candidate_first(summer->units[0]), nullptr);  // an empty set
}

TEST_F(BadArguments, SubmissionSendsNothingForNobodyAndLeavesOutOrdersFromAnotherPosition) {
    brox_order_submit(nullptr, nullptr, 0);
    EXPECT_TRUE(fake_client::sent().empty());

    World world(grid(), "0: A B; 1: C");
    Position *spring = world.position(SEASON_SPRING, "0 A A; 0 A B; 1 A C");
    brox_order_submit(nullptr, spring, 3 << 8);  // a power beyond the Map's
    brox_order_submit(nullptr, spring, 0xFF00);
    EXPECT_TRUE(fake_client::sent().empty());

    Position *other = world.position(SEASON_SPRING, "0 A A; 0 A B; 1 A C");
    world.choose(other->units[0], "MOVE D");
    spring->units[0]->order = other->units[0]->order;
    world.choose(spring->units[1], "MOVE E");
    world.forget(other);
    brox_position_free(other);  // what the copied order points to is gone
    brox_order_submit(nullptr, spring, 0);
    ASSERT_EQ(fake_client::sent().size(), 1u);
    const uint8_t *orders = record_message(fake_client::sent()[0].data());
    ASSERT_EQ(orders_message_count(orders), 1);  // only the unit in B
    OrderEntry entry = order_entry_read(orders_message_entry(orders, 0));
    EXPECT_EQ(entry.unit.province_token, world.map->provinces[grid().index("B")].token);
    EXPECT_EQ(entry.token, ORD_MOVE);
}

// ---------------------------------------------------------------------------
// The agenda
// ---------------------------------------------------------------------------

TEST_F(BadArguments, AgendaItemsAreBuiltOnlyFromTheUnitsOwnCandidates) {
    World world(grid(), "0: A B; 1: C");
    Position *spring = world.position(SEASON_SPRING, "0 A A; 1 A C");
    Position *elsewhere = world.position(SEASON_SPRING, "0 A A; 1 A C");
    Session session = assigned_session(0);
    EXPECT_EQ(brox_agenda_new(nullptr, score_zero, nullptr), nullptr);
    EXPECT_EQ(brox_agenda_new(spring, nullptr, nullptr), nullptr);
    AgendaPtr agenda(brox_agenda_new(spring, score_zero, nullptr));
    ASSERT_NE(agenda, nullptr);
    AgendaItem *root = best(agenda.get());
    Order *own = brox_candidate_first(spring->units[0]);
    Order copy = *own;

    struct Case {
        const char *what;
        Session *session;
        AgendaItem *parent;
        uint16_t unit_index;
        Order *order;
    };
    const Case refused[] = {
        {"no session", nullptr, root, 0, own},
        {"no parent", &session, nullptr, 0, own},
        {"a unit index equal to the unit count", &session, root, spring->unit_count, nullptr},
        {"a unit index beyond every Position", &session, root, 0xFFFF, nullptr},
        {"another unit's candidate", &session, root, 1, own},
        {"a copy of a candidate", &session, root, 0, &copy},
        {"the unit's chosen order", &session, root, 0, &spring->units[0]->order},
        {"a candidate of another Position", &session, root, 0, brox_candidate_first(elsewhere->units[0])},
    };
    long before = test_memory::live_blocks();
    for (const Case &c : refused) {
        EXPECT_EQ(brox_agenda_item_new(c.session, c.parent, c.unit_index, c.order), nullptr) << c.what;
    }
    EXPECT_EQ(test_memory::live_blocks(), before);

    AgendaItem *accepted = brox_agenda_item_new(&session, root, 0, own);
    ASSERT_NE(accepted, nullptr);
    AgendaItem *cleared = brox_agenda_item_new(&session, accepted, 0, nullptr);  // null clears a choice
    ASSERT_NE(cleared, nullptr);
    EXPECT_EQ(cleared->choices[0], nullptr);
    brox_agenda_item_free(cleared, 1);
    brox_agenda_item_free(accepted, 1);
    EXPECT_EQ(test_memory::live_blocks(), before);
}

TEST_F(BadArguments, AnItemOfAnotherAgendaOrPositionIsNeitherTakenNorExpanded) {
    World world(grid(), "0: A B; 1: C");
    Position *spring = world.position(SEASON_SPRING, "0 A A; 1 A C");
    Position *elsewhere = world.position(SEASON_SPRING, "0 A A; 1 A C");
    Session session = assigned_session(0);
    int calls = 0;
    auto counting = [](Position *, void *count) -> uint32_t { return static_cast<uint32_t>(++*static_cast<int *>(count)); };
    AgendaPtr agenda(brox_agenda_new(spring, counting, &calls));
    AgendaPtr single(brox_agenda_new(spring, counting, &calls));  // holds only its root
    AgendaPtr stepped(brox_agenda_new(spring, counting, &calls));
    AgendaItem *stepped_root = best(stepped.get());
    ASSERT_EQ(brox_agenda_step(&session, stepped.get()), 1);
    brox_agenda_item_free(stepped_root, 1);
    AgendaPtr foreign(brox_agenda_new(elsewhere, counting, &calls));
    uint32_t held = stepped->by_choice.count;
    ASSERT_GT(held, 2u);

    // Items still in another agenda: its lone root, and one of many.
    AgendaItem *lone = best(single.get());
    AgendaItem *linked = static_cast<AgendaItem *>(LUM_AVL_ITEM(&stepped->by_choice, stepped->by_choice.root));
    // Items that search another Position.
    AgendaItem *far_root = best(foreign.get());
    AgendaItem *far_free = brox_agenda_item_new(&session, far_root, 0, brox_candidate_first(elsewhere->units[0]));
    ASSERT_NE(far_free, nullptr);

    brox_agenda_add_item(nullptr, far_free);
    brox_agenda_add_item(agenda.get(), nullptr);
    for (AgendaItem *item : {lone, linked, far_free, far_root}) brox_agenda_add_item(agenda.get(), item);
    EXPECT_EQ(agenda->by_choice.count, 1u);
    EXPECT_EQ(agenda->by_score.count, 1u);
    EXPECT_EQ(single->by_choice.count, 1u);
    EXPECT_EQ(stepped->by_choice.count, held);
    EXPECT_EQ(lum_avl_find(&agenda->by_choice, far_free), nullptr);

    int before = calls;
    brox_agenda_add_successors(&session, agenda.get(), far_free);
    brox_agenda_add_successors(nullptr, agenda.get(), best(agenda.get()));
    brox_agenda_add_successors(&session, nullptr, best(agenda.get()));
    brox_agenda_add_successors(&session, agenda.get(), nullptr);
    EXPECT_EQ(calls, before);
    EXPECT_EQ(agenda->by_choice.count, 1u);

    // A step without a session leaves the best item in place.
    AgendaItem *top = best(agenda.get());
    EXPECT_EQ(brox_agenda_step(nullptr, agenda.get()), 0);
    EXPECT_EQ(brox_agenda_step(&session, nullptr), 0);
    EXPECT_EQ(best(agenda.get()), top);
    EXPECT_EQ(calls, before);

    brox_agenda_free(nullptr);
    brox_agenda_item_free(far_free, 1);
}

// Freeing an item that an agenda still holds would leave the agenda
// pointing at freed memory: the agenda keeps it and frees it itself.
TEST_F(BadArguments, AnItemStillInAnAgendaIsNotFreedByTheCaller) {
    World world(grid(), "0: A B; 1: C");
    Position *spring = world.position(SEASON_SPRING, "0 A A; 1 A C");
    Session session = assigned_session(0);
    long before = test_memory::live_blocks();
    Agenda *agenda = brox_agenda_new(spring, score_zero, nullptr);
    AgendaItem *root = best(agenda);
    long with_root = test_memory::live_blocks();
    brox_agenda_item_free(root, 1);  // still the agenda's only item
    brox_agenda_item_free(nullptr, 1);
    EXPECT_EQ(test_memory::live_blocks(), with_root);
    EXPECT_EQ(best(agenda), root);

    ASSERT_EQ(brox_agenda_step(&session, agenda), 1);
    AgendaItem *inside = best(agenda);
    ASSERT_NE(inside, nullptr);
    long stepped = test_memory::live_blocks();
    brox_agenda_item_free(inside, 1);  // one of many
    EXPECT_EQ(test_memory::live_blocks(), stepped);
    brox_agenda_item_free(root, 1);  // taken out by the step: the caller's now
    EXPECT_EQ(test_memory::live_blocks(), stepped - 1);
    brox_agenda_free(agenda);
    EXPECT_EQ(test_memory::live_blocks(), before);
}

}  // namespace
