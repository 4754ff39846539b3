// The agenda search: which item is best, which successors an item has, the
// duplicate test, the Units' orders after a step, and who frees what.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <set>
#include <vector>

#include "board.h"
#include "boards.h"
#include "common/assignment_message.h"
#include "doubles.h"
#include "search/agenda.h"
#include "tools/mapgen/mapgen.h"
#include "world.h"
#include "world/centres.h"
#include "world/map.h"
#include "world/order.h"
#include "world/position.h"

namespace {

using board::Board;

const Board &grid() { return grid_board(); }

Session session_of(uint16_t power) {
    Session session{};
    assignment_write(session.assignment, {static_cast<uint16_t>((power << 8) | 0x41), 0});
    return session;
}

// Scores through a std::function and counts its calls.
struct Scorer {
    std::function<uint32_t(Position *)> score = [](Position *) { return 0u; };
    int calls = 0;
    static uint32_t call(Position *position, void *self) {
        Scorer *scorer = static_cast<Scorer *>(self);
        scorer->calls++;
        return scorer->score(position);
    }
};

struct AgendaFree {
    void operator()(Agenda *agenda) const { brox_agenda_free(agenda); }
};
using AgendaPtr = std::unique_ptr<Agenda, AgendaFree>;

std::vector<AgendaItem *> items_of(Agenda *agenda) {
    std::vector<AgendaItem *> items;
    LumAvlTree *tree = &agenda->by_score;
    for (void *item = LUM_AVL_ITEM(tree, tree->first); item;
         item = lum_avl_next(tree, &static_cast<AgendaItem *>(item)->score_node))
        items.push_back(static_cast<AgendaItem *>(item));
    return items;
}

AgendaItem *best(Agenda *agenda) {
    return static_cast<AgendaItem *>(LUM_AVL_ITEM(&agenda->by_score, agenda->by_score.last));
}

// The unit indices an item has a choice for.
std::set<int> chosen_units(const AgendaItem *item) {
    std::set<int> units;
    for (int u = 0; u < item->position->unit_count; u++)
        if (item->choices[u]) units.insert(u);
    return units;
}

size_t candidate_count(const Unit *unit) { return unit->candidates.count; }

// ---------------------------------------------------------------------------
// Which item is best
// ---------------------------------------------------------------------------

TEST(AgendaOrder, HighestScoreThenHighestChoiceVectorIsBest) {
    World world(grid(), "0: A B");
    Position *position = world.position(SEASON_SPRING, "0 A A; 0 A G");
    Session session = session_of(0);
    Scorer scorer;
    scorer.score = [](Position *) { return 7u; };
    AgendaPtr agenda(brox_agenda_new(position, Scorer::call, &scorer));
    ASSERT_NE(agenda, nullptr);
    EXPECT_EQ(scorer.calls, 1);  // the root, on the Position itself
    AgendaItem *root = best(agenda.get());
    EXPECT_EQ(root->score, 7u);
    EXPECT_EQ(root->complete, 0);

    const Order *low = world.candidate(position->units[0], "HOLD");
    const Order *high = world.candidate(position->units[0], "MOVE B");
    AgendaItem *a = brox_agenda_item_new(&session, root, 0, const_cast<Order *>(low));
    AgendaItem *b = brox_agenda_item_new(&session, root, 0, const_cast<Order *>(high));
    a->score = b->score = 9;
    brox_agenda_add_item(agenda.get(), a);
    brox_agenda_add_item(agenda.get(), b);
    EXPECT_EQ(best(agenda.get()), std::less<const Order *>()(low, high) ? b : a);
    EXPECT_GT(compare_by_score(b, root), 0);
    EXPECT_EQ(compare_by_choice(a, a), 0);
    EXPECT_NE(compare_by_choice(a, b), 0);
    // A score that reads as negative when signed is a large score.
    AgendaItem *c = brox_agenda_item_new(&session, root, 1, const_cast<Order *>(world.candidate(position->units[1], "HOLD")));
    c->score = 0x80000000u;
    brox_agenda_add_item(agenda.get(), c);
    EXPECT_EQ(best(agenda.get()), c);
    EXPECT_EQ(agenda->by_score.count, 4u);
    EXPECT_EQ(agenda->by_choice.count, 4u);
}

TEST(AgendaOrder, AnItemWithTheSameChoicesIsNotTaken) {
    World world(grid(), "0: A B");
    Position *position = world.position(SEASON_SPRING, "0 A A");
    Session session = session_of(0);
    Scorer scorer;
    AgendaPtr agenda(brox_agenda_new(position, Scorer::call, &scorer));
    AgendaItem *root = best(agenda.get());
    AgendaItem *twin = brox_agenda_item_new(&session, root, 0, nullptr);  // same vector as the root
    twin->score = 1000;
    brox_agenda_add_item(agenda.get(), twin);
    EXPECT_EQ(agenda->by_choice.count, 1u);
    EXPECT_EQ(best(agenda.get()), root);
    brox_agenda_item_free(twin, 1);
}

// ---------------------------------------------------------------------------
// Which successors an item has
// ---------------------------------------------------------------------------

// Units 0 and 2 belong to the searching power, unit 1 to another.
TEST(AgendaSuccessors, IncompleteItemsExpandTheSearchingPowerCompleteOnesEveryPower) {
    World world(grid(), "0: A B; 1: C");
    Position *position = world.position(SEASON_SPRING, "0 A A; 1 A C; 0 A G");
    Session session = session_of(0);
    Scorer scorer;
    AgendaPtr agenda(brox_agenda_new(position, Scorer::call, &scorer));
    size_t own = candidate_count(position->units[0]) + candidate_count(position->units[2]);
    size_t all = own + candidate_count(position->units[1]);

    AgendaItem *root = best(agenda.get());
    ASSERT_EQ(brox_agenda_step(&session, agenda.get()), 1);
    brox_agenda_item_free(root, 1);
    std::vector<AgendaItem *> first = items_of(agenda.get());
    EXPECT_EQ(first.size(), own);
    EXPECT_EQ(scorer.calls, static_cast<int>(1 + own));
    for (AgendaItem *item : first) {
        std::set<int> units = chosen_units(item);
        ASSERT_EQ(units.size(), 1u);
        EXPECT_NE(*units.begin(), 1);
        EXPECT_EQ(item->complete, 0);
    }

    // {unit 0: O}: unit 0 again (its own vector among them), then unit 2,
    // whose successors are complete.
    const Order *o = world.candidate(position->units[0], "MOVE B");
    AgendaItem *item = brox_agenda_item_new(&session, best(agenda.get()), 0, const_cast<Order *>(o));
    std::memset(item->choices, 0, sizeof item->choices);
    item->choices[0] = const_cast<Order *>(o);
    item->complete = 0;
    AgendaPtr fresh(brox_agenda_new(position, Scorer::call, &scorer));
    brox_agenda_add_successors(&session, fresh.get(), item);
    size_t complete = 0;
    for (AgendaItem *successor : items_of(fresh.get())) {
        if (chosen_units(successor).empty()) continue;  // the fresh agenda's root
        if (successor->complete) {
            complete++;
            EXPECT_EQ(chosen_units(successor), (std::set<int>{0, 2}));
        } else {
            EXPECT_EQ(chosen_units(successor), (std::set<int>{0}));
        }
    }
    EXPECT_EQ(complete, candidate_count(position->units[2]));

    // A complete item tries every unit of every power.
    item->choices[2] = const_cast<Order *>(world.candidate(position->units[2], "HOLD"));
    item->complete = 1;
    AgendaPtr last(brox_agenda_new(position, Scorer::call, &scorer));
    int before = scorer.calls;
    brox_agenda_add_successors(&session, last.get(), item);
    EXPECT_EQ(scorer.calls - before, static_cast<int>(all));
    brox_agenda_item_free(item, 1);
}

TEST(AgendaSuccessors, APowerWithoutUnitsEmptiesTheAgenda) {
    World world(grid(), "1: C");
    Position *position = world.position(SEASON_SPRING, "1 A C; 2 A G");
    Session session = session_of(0);
    Scorer scorer;
    AgendaPtr agenda(brox_agenda_new(position, Scorer::call, &scorer));
    AgendaItem *root = best(agenda.get());
    EXPECT_EQ(root->complete, 0);
    EXPECT_EQ(brox_agenda_step(&session, agenda.get()), 1);
    EXPECT_EQ(agenda->by_score.count, 0u);
    EXPECT_EQ(brox_agenda_step(&session, agenda.get()), 0);
    EXPECT_EQ(scorer.calls, 1);
    brox_agenda_item_free(root, 1);
}

// The searching power is read as brox_session_power reads it: bytes that
// name power 0 where the power word goes are no assignment until the type
// word says so.
TEST(AgendaSuccessors, WithoutAnAssignmentNoUnitIsTheSearchingPowers) {
    World world(grid(), "0: A B");
    Position *position = world.position(SEASON_SPRING, "0 A A; 0 A G");
    Session session{};
    put_u16(session.assignment, ASSIGNMENT_POWER_AT, 0x0041);
    ASSERT_EQ(brox_session_power(&session), POWER_NONE);
    Scorer scorer;
    AgendaPtr agenda(brox_agenda_new(position, Scorer::call, &scorer));
    AgendaItem *root = best(agenda.get());
    EXPECT_EQ(brox_agenda_step(&session, agenda.get()), 1);
    EXPECT_EQ(agenda->by_score.count, 0u);
    EXPECT_EQ(scorer.calls, 1);
    brox_agenda_item_free(root, 1);

    // The same bytes under an assignment's header: power 0 searches.
    msg_header_init(session.assignment, MSG_ASSIGNMENT, ASSIGNMENT_LENGTH);
    AgendaPtr assigned(brox_agenda_new(position, Scorer::call, &scorer));
    root = best(assigned.get());
    EXPECT_EQ(brox_agenda_step(&session, assigned.get()), 1);
    EXPECT_EQ(assigned->by_score.count,
              candidate_count(position->units[0]) + candidate_count(position->units[1]));
    brox_agenda_item_free(root, 1);
}

TEST(AgendaSuccessors, UnitsWithoutCandidatesHoldAndBlockCompleteness) {
    World world(grid(), "0: A B");
    // Summer: the standing unit of power 0 has no candidates, the dislodged
    // one may only disband, so no item is ever complete.
    Position *summer = world.position(SEASON_SUMMER, "0 A A; 0 A E dislodged; 1 A C");
    Session session = session_of(0);
    Scorer scorer;
    AgendaPtr agenda(brox_agenda_new(summer, Scorer::call, &scorer));
    for (int step = 0; step < 5; step++) {
        AgendaItem *taken = best(agenda.get());
        ASSERT_EQ(brox_agenda_step(&session, agenda.get()), 1);
        brox_agenda_item_free(taken, 1);
        // One item each time: the disband, found again from itself.
        ASSERT_EQ(agenda->by_score.count, 1u);
        AgendaItem *item = best(agenda.get());
        EXPECT_EQ(item->complete, 0);
        EXPECT_EQ(item->choices[0], nullptr);
        ASSERT_NE(item->choices[1], nullptr);
        EXPECT_EQ(item->choices[1]->token, ORD_DISBAND);
        EXPECT_EQ(item->choices[2], nullptr);
    }
    EXPECT_EQ(scorer.calls, 6);

    // Winter with two build slots: the second slot never has a choice.
    World winter_world(grid(), "0: A B E I");
    Position *winter = winter_world.position(SEASON_WINTER, "0 A D; 0 A H");
    ASSERT_EQ(winter->unit_count, 4);
    AgendaPtr builds(brox_agenda_new(winter, Scorer::call, &scorer));
    for (int step = 0; step < 20; step++) {
        AgendaItem *taken = best(builds.get());
        ASSERT_EQ(brox_agenda_step(&session, builds.get()), 1);
        brox_agenda_item_free(taken, 1);
    }
    EXPECT_GT(builds->by_score.count, 0u);
    for (AgendaItem *item : items_of(builds.get())) {
        EXPECT_EQ(item->complete, 0);
        EXPECT_EQ(item->choices[3], nullptr);
    }
}

TEST(AgendaSuccessors, AfterAStepTheUnitsCarryTheExpandedItemsChoices) {
    World world(grid(), "0: A B; 1: C");
    Position *position = world.position(SEASON_SPRING, "0 A A; 1 A C; 0 A G");
    Session session = session_of(0);
    Scorer scorer;
    // Prefer successors that leave A: the search then expands such items.
    scorer.score = [&](Position *next) { return next->provinces[grid().index("A")].unit ? 1u : 5u; };
    AgendaPtr agenda(brox_agenda_new(position, Scorer::call, &scorer));
    for (int step = 0; step < 4; step++) {
        AgendaItem *taken = best(agenda.get());
        ASSERT_EQ(brox_agenda_step(&session, agenda.get()), 1);
        for (uint16_t u = 0; u < position->unit_count; u++) {
            const Order &order = position->units[u]->order;
            if (taken->choices[u]) {
                EXPECT_EQ(order_compare(&order, taken->choices[u]), 0);
            } else {
                EXPECT_EQ(order.token, ORD_HOLD);
                EXPECT_EQ(order.target, nullptr);
            }
        }
        // A taken item is the caller's; its vector may come back later.
        brox_agenda_item_free(taken, 1);
    }
}

TEST(AgendaSuccessors, AVectorTakenOutMayComeBack) {
    World world(grid(), "0: A B");
    Position *position = world.position(SEASON_SPRING, "0 A A");
    Session session = session_of(0);
    Scorer scorer;
    AgendaPtr agenda(brox_agenda_new(position, Scorer::call, &scorer));
    AgendaItem *root = best(agenda.get());
    ASSERT_EQ(brox_agenda_step(&session, agenda.get()), 1);  // root out, successors in
    brox_agenda_item_free(root, 1);
    size_t after_first = agenda->by_choice.count;
    AgendaItem *taken = best(agenda.get());
    ASSERT_EQ(brox_agenda_step(&session, agenda.get()), 1);
    // The expanded item's own vector is among its successors and enters
    // again; every other vector of unit 0 was already there.
    EXPECT_EQ(agenda->by_choice.count, after_first);
    bool back = false;
    for (AgendaItem *item : items_of(agenda.get()))
        back = back || compare_by_choice(item, taken) == 0;
    EXPECT_TRUE(back);
    brox_agenda_item_free(taken, 1);
}

TEST(AgendaSuccessors, ASuccessorThatAdjudicatesToNothingIsDropped) {
    World world(grid(), "0: A B");
    Position *position = world.position(SEASON_SPRING, "0 A A");
    Session session = session_of(0);
    Scorer scorer;
    AgendaPtr agenda(brox_agenda_new(position, Scorer::call, &scorer));
    AgendaItem *root = best(agenda.get());
    long before = test_memory::live_blocks();
    position->season = POSITION_REQUEST_SEASON;  // adjudicates to null
    EXPECT_EQ(brox_agenda_step(&session, agenda.get()), 1);
    position->season = SEASON_SPRING;
    EXPECT_EQ(agenda->by_score.count, 0u);
    EXPECT_EQ(scorer.calls, 1);
    EXPECT_EQ(test_memory::live_blocks(), before);  // the root is out, not freed
    brox_agenda_item_free(root, 1);
}

// ---------------------------------------------------------------------------
// Ownership and memory
// ---------------------------------------------------------------------------

TEST(AgendaMemory, FreeingReleasesEveryItemOnceAndLeavesTakenItems) {
    World world(grid(), "0: A B; 1: C");
    Position *position = world.position(SEASON_SPRING, "0 A A; 1 A C; 0 A G");
    Session session = session_of(0);
    Scorer scorer;
    long before = test_memory::live_blocks();
    Agenda *agenda = brox_agenda_new(position, Scorer::call, &scorer);
    std::vector<AgendaItem *> taken;
    for (int step = 0; step < 6; step++) {
        taken.push_back(best(agenda));
        brox_agenda_step(&session, agenda);
    }
    EXPECT_GT(agenda->by_choice.count, 10u);
    brox_agenda_free(agenda);
    EXPECT_EQ(test_memory::live_blocks(), before + static_cast<long>(taken.size()));
    for (AgendaItem *item : taken) brox_agenda_item_free(item, 0);  // nothing freed
    EXPECT_EQ(test_memory::live_blocks(), before + static_cast<long>(taken.size()));
    for (AgendaItem *item : taken) brox_agenda_item_free(item, 1);
    EXPECT_EQ(test_memory::live_blocks(), before);
}

// Every allocation of a step fails in turn, until a step runs without a
// failure.  A failure costs at most the one successor it was made for: the
// step goes on with the others, the trees stay consistent, nothing leaks,
// and the agenda steps on afterwards.
TEST(AgendaMemory, FailedAllocationsWhileSteppingLeaveTheAgendaUsable) {
    World world(grid(), "0: A B; 1: C");
    Position *position = world.position(SEASON_SPRING, "0 A A; 1 A C; 0 A G");
    Session session = session_of(0);
    Scorer scorer;
    long before = test_memory::live_blocks();
    uint32_t clean_count = 0;
    {
        Agenda *agenda = brox_agenda_new(position, Scorer::call, &scorer);
        AgendaItem *taken = best(agenda);
        brox_agenda_step(&session, agenda);
        clean_count = agenda->by_score.count;
        brox_agenda_free(agenda);
        brox_agenda_item_free(taken, 1);
    }
    ASSERT_GT(clean_count, 5u);
    for (long n = 1;; n++) {
        Agenda *agenda = brox_agenda_new(position, Scorer::call, &scorer);
        ASSERT_NE(agenda, nullptr);
        AgendaItem *taken = best(agenda);
        test_memory::fail_at(n);
        EXPECT_EQ(brox_agenda_step(&session, agenda), 1);
        bool failed = test_memory::failed();
        test_memory::fail_at(0);
        EXPECT_EQ(agenda->by_score.count, agenda->by_choice.count);
        EXPECT_GE(agenda->by_score.count + 1, clean_count) << "allocation " << n;
        EXPECT_LE(agenda->by_score.count, clean_count) << "allocation " << n;
        AgendaItem *next = best(agenda);
        if (next) {
            EXPECT_EQ(brox_agenda_step(&session, agenda), 1);
        }
        brox_agenda_free(agenda);
        brox_agenda_item_free(taken, 1);
        brox_agenda_item_free(next, 1);
        EXPECT_EQ(test_memory::live_blocks(), before) << "allocation " << n;
        if (!failed) {
            EXPECT_GT(n, 20);
            break;
        }
    }
    test_memory::fail_at(1);
    EXPECT_EQ(brox_agenda_new(position, Scorer::call, &scorer), nullptr);
    test_memory::fail_at(2);
    EXPECT_EQ(brox_agenda_new(position, Scorer::call, &scorer), nullptr);
    test_memory::fail_at(0);
    EXPECT_EQ(test_memory::live_blocks(), before);
}

}  // namespace

// ---------------------------------------------------------------------------
// A real search
// ---------------------------------------------------------------------------

namespace {

// Supply centres the power owns, plus those its standing units occupy.
uint32_t centres_of_power(Position *position, void *power_word) {
    uint16_t power = *static_cast<uint16_t *>(power_word);
    uint32_t score = position->centres->lists[power]->count;
    for (uint16_t u = 0; u < position->unit_count; u++) {
        const Unit *unit = position->units[u];
        if (unit->power == power && unit->location && !unit->dislodged &&
            unit->location->province->province->centre_kind != CENTRE_NONE &&
            unit->location->province->owner != power)
            score++;
    }
    return score;
}

// Successors whose orders lead to the same next phase are scored on equal
// Positions, whatever an earlier scoring call did to the Position it was
// given: each call sees every Unit on its built order, and candidate sets
// as built, even after a call changed orders, adjudicated the Position and
// took a candidate out of a set.
TEST(AgendaTrials, EachScoreSeesThePositionAsBuilt) {
    World world(iberia_board(), "0: SPA; 1: MAR");
    Position *position = world.position(SEASON_SPRING, "0 A GAS; 0 F MAO; 1 F WES; 1 A MAR; 0 A SPA");
    Session session = session_of(0);
    // What a call sees, and a score that depends on it.
    auto record = [&world](std::vector<std::string> &seen, Position *next) {
        std::string text = world.describe(next);
        for (uint16_t u = 0; u < next->unit_count; u++)
            text += " " + std::to_string(next->units[u]->candidates.count);
        seen.push_back(text);
        return static_cast<uint32_t>(std::hash<std::string>()(text) % 1000);
    };
    std::vector<std::string> plain_seen, meddling_seen;
    int not_as_built = 0;
    Scorer plain;
    plain.score = [&](Position *next) { return record(plain_seen, next); };
    Scorer meddling;
    meddling.score = [&](Position *next) {
        uint32_t score = record(meddling_seen, next);
        if (next == position) return score;  // the root: the searched Position itself
        for (uint16_t u = 0; u < next->unit_count; u++) {
            Unit *unit = next->units[u];
            uint16_t built = unit->location ? ORD_HOLD : ORD_WAIVE;
            if (unit->order.token != built || unit->order.target || unit->order.other_unit || unit->result)
                not_as_built++;
            if (unit->candidates.count)
                unit->order = *static_cast<Order *>(LUM_AVL_ITEM(&unit->candidates, unit->candidates.last));
        }
        Position *further = brox_adjudicate(next);
        if (further) brox_position_free(further);
        // Now and then a candidate taken out of a set, too.
        Unit *first = next->unit_count ? next->units[0] : nullptr;
        if (meddling_seen.size() % 7 == 0 && first && first->candidates.count > 1)
            lum_avl_remove(&first->candidates, first->candidates.first);
        return score;
    };
    for (Scorer *scorer : {&plain, &meddling}) {
        Agenda *agenda = brox_agenda_new(position, Scorer::call, scorer);
        for (int step = 0; step < 3; step++) {
            AgendaItem *taken = best(agenda);
            ASSERT_EQ(brox_agenda_step(&session, agenda), 1);
            brox_agenda_item_free(taken, 1);
        }
        brox_agenda_free(agenda);
    }
    EXPECT_GT(plain_seen.size(), 20u);
    EXPECT_EQ(meddling_seen, plain_seen);
    EXPECT_EQ(not_as_built, 0);
}

// Every allocation of two agenda steps on a board with convoys fails in
// turn: candidates of Positions with convoy routes, the Position kept
// between trials and its message.  Nothing leaks and the agenda stays
// consistent.
TEST(AgendaMemory, FailedAllocationsWithConvoysLeakNothing) {
    World world(iberia_board(), "0: SPA; 1: MAR");
    Position *position = world.position(SEASON_SPRING, "0 A GAS; 0 F MAO; 1 F WES; 1 A MAR");
    Session session = session_of(0);
    Scorer scorer;
    scorer.score = [](Position *next) { return static_cast<uint32_t>(next->unit_count + next->season); };
    long before = test_memory::live_blocks();
    for (long n = 1;; n++) {
        Agenda *agenda = brox_agenda_new(position, Scorer::call, &scorer);
        ASSERT_NE(agenda, nullptr);
        test_memory::fail_at(n);
        std::vector<AgendaItem *> taken;
        for (int step = 0; step < 2; step++) {
            taken.push_back(best(agenda));
            brox_agenda_step(&session, agenda);
        }
        bool failed = test_memory::failed();
        test_memory::fail_at(0);
        EXPECT_EQ(agenda->by_score.count, agenda->by_choice.count) << "allocation " << n;
        brox_agenda_free(agenda);
        for (AgendaItem *item : taken) brox_agenda_item_free(item, 1);
        EXPECT_EQ(test_memory::live_blocks(), before) << "allocation " << n;
        if (!failed) {
            EXPECT_GT(n, 30);
            break;
        }
    }
}

}  // namespace

TEST(AgendaSearch, ASpringSearchTakesItemsBestFirstAndBeatsEverySingleOrder) {
    GeneratedMap generated = mapgen_default();
    Map *map = map_build(generated.map_message.data());
    ASSERT_NE(map, nullptr);
    CentreTable *centres = centre_table_retain(centre_table_build(map, generated.centres_message.data()));
    std::vector<uint8_t> message = generated.position_message;
    Position *position = position_build(map, centres, message.data());
    ASSERT_NE(position, nullptr);
    uint16_t power = 2;
    Session session = session_of(power);
    Agenda *agenda = brox_agenda_new(position, centres_of_power, &power);

    // The root's successors are the single-order items.
    AgendaItem *root = best(agenda);
    ASSERT_EQ(brox_agenda_step(&session, agenda), 1);
    uint32_t best_single = 0;
    for (AgendaItem *item : items_of(agenda)) best_single = std::max(best_single, item->score);
    EXPECT_GT(best_single, root->score);  // some single move reaches a centre
    brox_agenda_item_free(root, 1);

    uint32_t best_complete = 0;
    for (int step = 0; step < 300 && agenda->by_score.last; step++) {
        AgendaItem *taken = best(agenda);
        if (step % 20 == 0) {
            for (AgendaItem *item : items_of(agenda)) ASSERT_LE(compare_by_score(item, taken), 0);
        }
        if (taken->complete) best_complete = std::max(best_complete, taken->score);
        ASSERT_EQ(brox_agenda_step(&session, agenda), 1);
        brox_agenda_item_free(taken, 1);
    }
    for (AgendaItem *item : items_of(agenda))
        if (item->complete) best_complete = std::max(best_complete, item->score);
    EXPECT_GE(best_complete, best_single);
    brox_agenda_free(agenda);
    brox_position_free(position);
    centre_table_release(map, centres);
    map_release(map);
}
