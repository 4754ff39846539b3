// The rest of the year: season order, the winter step, retreats,
// adjustments, a game carried through two years, and adjudication under
// failing allocations.
#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "board.h"
#include "boards.h"
#include "doubles.h"
#include "world.h"

namespace {

using board::Board;
using Orders = std::vector<std::pair<const char *, const char *>>;

const Board &grid() { return grid_board(); }

const Board &iberia() { return iberia_board(); }

Position *play(World &world, Position *position, const Orders &orders) { return world.play(position, orders); }

// ---------------------------------------------------------------------------
// Seasons and the winter step
// ---------------------------------------------------------------------------

TEST(Seasons, AnEmptyBoardRunsThroughTheYear) {
    World world(grid(), "");
    Position *spring = world.position(SEASON_SPRING, "", 1905);
    Position *fall = world.next(spring);
    EXPECT_EQ(world.describe(fall), "fall 1905:");
    // Nobody owns anything and nobody has units: the winter is skipped.
    EXPECT_EQ(world.describe(world.next(fall)), "spring 1906:");
    Position *winter = world.position(SEASON_WINTER, "", 1905);
    EXPECT_EQ(world.describe(world.next(winter)), "spring 1906:");
}

TEST(Seasons, DislodgementsLeadToTheRetreatSeasons) {
    World world(grid(), "0: A B; 1: C; 2: G");
    Orders attack = {{"D", "MOVE E"}, {"G", "SUPPORT A D -> E"}};
    Position *spring = world.position(SEASON_SPRING, "0 A D; 2 A G; 1 A E", 1903);
    Position *summer = play(world, spring, attack);
    EXPECT_EQ(world.describe(summer), "summer 1903: 0 A E; 2 A G; 1 A E dislodged");
    // A dislodged unit of the adjudicator's own messages has no retreat
    // options: it may only disband.
    EXPECT_EQ(world.candidates(summer->units[2]), (Texts{"DISBAND"}));
    Position *fall = world.position(SEASON_FALL, "0 A D; 2 A G; 1 A E", 1903);
    EXPECT_EQ(world.describe(play(world, fall, attack)), "autumn 1903: 0 A E; 2 A G; 1 A E dislodged");
}

TEST(Seasons, TheWinterStepOwnsCentresWhereUnitsStoodAndMaySkipToSpring) {
    World world(grid(), "0: A B; 1: C; 2: G");
    // Power 0 stands on E during the fall (it leaves for I): E becomes its,
    // I stays unowned.  Two units, three centres: a build is due.
    Position *fall = world.position(SEASON_FALL, "0 A E; 0 A A; 1 A C; 2 A G", 1901);
    Position *winter = play(world, fall, {{"E", "MOVE I"}});
    EXPECT_EQ(world.describe(winter), "winter 1901: 0 A I; 0 A A; 1 A C; 2 A G; 0 A (slot)");
    EXPECT_EQ(world.owners(winter), "0: A B E; 1: C; 2: G");
    EXPECT_EQ(winter->adjustment[0], 1);
    EXPECT_NE(winter->centres, world.centres);
    EXPECT_EQ(winter->centres->ref_count, 1);

    // Every power already has as many units as centres: straight to spring,
    // carrying the new table.
    Position *balanced = world.position(SEASON_FALL, "0 A E; 0 A A; 0 A B; 1 A C; 2 A G", 1901);
    Position *spring = world.next(balanced);
    EXPECT_EQ(world.describe(spring), "spring 1902: 0 A E; 0 A A; 0 A B; 1 A C; 2 A G");
    EXPECT_EQ(world.owners(spring), "0: A B E; 1: C; 2: G");
    EXPECT_NE(spring->centres, world.centres);
}

TEST(Seasons, AnUnknownSeasonAdjudicatesToNothing) {
    World world(grid(), "0: A");
    Position *position = world.position(POSITION_REQUEST_SEASON, "0 A D");
    uint16_t ref_count = world.centres->ref_count;
    long before = test_memory::live_blocks();
    EXPECT_EQ(brox_adjudicate(position), nullptr);
    EXPECT_EQ(test_memory::live_blocks(), before);
    EXPECT_EQ(world.centres->ref_count, ref_count);
    EXPECT_EQ(position->season, POSITION_REQUEST_SEASON);
    EXPECT_EQ(brox_adjudicate(nullptr), nullptr);
}

// Adjudication reads the Position it is given: in every season, with every
// kind of order chosen, the bytes of the Position record and of each of its
// Units are the same afterwards.
TEST(Seasons, AdjudicationLeavesThePositionAsItWas) {
    World sea(iberia(), "0: SPA; 1: MAR");
    World land(grid(), "0: A B E; 1: C; 2: G");
    struct Case {
        World &world;
        uint16_t season;
        const char *units;
        Orders orders;
    } cases[] = {
        {sea, SEASON_SPRING, "0 A GAS; 0 F MAO; 1 F WES; 1 A MAR",
         {{"GAS", "CONVOY_MOVE POR/f via MAO"}, {"MAO", "CONVOY A GAS -> POR/f"}, {"MAR", "MOVE SPA"}}},
        {land, SEASON_FALL, "0 A D; 2 A G; 1 A E; 0 A A",
         {{"D", "MOVE E"}, {"G", "SUPPORT A D -> E"}, {"A", "SUPPORT A D -> E"}}},
        {land, SEASON_SUMMER, "0 A E dislodged -> B F; 1 A D dislodged -> B; 2 A G", {{"E", "RETREAT B"}, {"D", "RETREAT B"}}},
        {land, SEASON_AUTUMN, "0 A E dislodged -> F; 1 A C", {{"E", "RETREAT F"}}},
        {land, SEASON_WINTER, "0 A A; 1 A C; 1 A I", {{"I", "REMOVE"}}},
        {land, POSITION_REQUEST_SEASON, "0 A D; 1 A C", {}},
    };
    for (Case &c : cases) {
        Position *position = c.world.position(c.season, c.units);
        for (const auto &[province, order] : c.orders) c.world.order(position, province, order);
        std::vector<uint8_t> record(sizeof(Position));
        std::memcpy(record.data(), position, sizeof(Position));
        std::vector<std::vector<uint8_t>> units;
        for (uint16_t u = 0; u < position->unit_count; u++) {
            units.emplace_back(sizeof(Unit));
            std::memcpy(units.back().data(), position->units[u], sizeof(Unit));
        }
        Position *next = brox_adjudicate(position);
        if (next) brox_position_free(next);
        EXPECT_EQ(std::memcmp(record.data(), position, sizeof(Position)), 0) << c.units;
        for (uint16_t u = 0; u < position->unit_count; u++)
            EXPECT_EQ(std::memcmp(units[u].data(), position->units[u], sizeof(Unit)), 0) << c.units << ", unit " << u;
    }
}

// ---------------------------------------------------------------------------
// Retreats
// ---------------------------------------------------------------------------

TEST(Retreats, RetreatsIntoOneProvinceAllFail) {
    World world(grid(), "0: A B; 1: C; 2: G");
    Position *summer = world.position(SEASON_SUMMER,
                                      "0 A E dislodged -> B F; 1 A D dislodged -> B; 2 A G dislodged -> H; 1 A C", 1902);
    Position *fall = play(world, summer, {{"E", "RETREAT B"}, {"D", "RETREAT B"}, {"G", "RETREAT H"}});
    EXPECT_EQ(world.describe(fall), "fall 1902: 2 A H; 1 A C");
}

TEST(Retreats, RetreatsToTwoCoastsOfOneProvinceCollideEvenForOnePower) {
    World world(iberia(), "0: SPA");
    Position *autumn = world.position(SEASON_AUTUMN, "0 F MAO dislodged -> SPA/nc; 0 F WES dislodged -> SPA/sc; 1 A GAS");
    Position *next = play(world, autumn, {{"MAO", "RETREAT SPA/nc"}, {"WES", "RETREAT SPA/sc"}});
    // Power 0 keeps no unit and owns SPA: a build is due in winter.
    EXPECT_EQ(world.describe(next), "winter 1901: 1 A GAS; 0 A (slot)");
}

TEST(Retreats, DisbandingAndHoldingUnitsAreGoneOthersStay) {
    World world(grid(), "0: A B; 1: C; 2: G");
    Position *summer = world.position(SEASON_SUMMER, "0 A E dislodged -> F; 1 A D dislodged -> H; 2 A G; 0 A A");
    Position *fall = play(world, summer, {{"E", "DISBAND"}});
    EXPECT_EQ(world.describe(fall), "fall 1901: 2 A G; 0 A A");
    // Retreats that succeed stand at their destination, not dislodged.
    Position *again = world.position(SEASON_SUMMER, "0 A E dislodged -> F; 1 A D dislodged -> H; 2 A G; 0 A A");
    EXPECT_EQ(world.describe(play(world, again, {{"E", "RETREAT F"}, {"D", "RETREAT H"}})),
              "fall 1901: 0 A F; 1 A H; 2 A G; 0 A A");
}

TEST(Retreats, ARetreatWithoutATargetDisbands) {
    World world(grid(), "0: A B; 1: C; 2: G");
    std::vector<board::UnitEntry> units = grid().units("0 A E dislodged -> B; 1 A D dislodged -> B; 2 A G");
    units[0].retreats[0].province = 250;  // names no location: a retreat with no target
    std::vector<uint8_t> message = board::position_message(SEASON_SUMMER, 1901, units);
    Position *position = world.position(message);
    ASSERT_NE(position, nullptr);
    world.order(position, "E", "RETREAT -");
    world.order(position, "D", "RETREAT B");
    // The target-less retreat neither collides with D's nor stands anywhere.
    EXPECT_EQ(world.describe(world.next(position)), "fall 1901: 1 A B; 2 A G");
}

TEST(Retreats, AutumnRetreatsFeedTheWinterStepWithoutTheRetreatingUnits) {
    World world(grid(), "0: A B; 1: C; 2: G");
    // 1 retreats from E (a neutral centre) to I; 0 stands in E after the
    // fall.  E goes to 0, I stays unowned, C to 1.
    Position *autumn = world.position(SEASON_AUTUMN, "0 A E; 1 A E dislodged -> I; 1 A C; 0 A A; 0 A B; 2 A G");
    world.choose(autumn->units[1], "RETREAT I");
    Position *next = world.next(autumn);
    EXPECT_EQ(world.owners(next), "0: A B E; 1: C; 2: G");
    EXPECT_EQ(world.describe(next), "winter 1901: 0 A E; 1 A I; 1 A C; 0 A A; 0 A B; 2 A G");
    EXPECT_EQ(next->adjustment[1], -1);
}

// ---------------------------------------------------------------------------
// Adjustments
// ---------------------------------------------------------------------------

TEST(Adjustments, BuildsStandRemovalsAndWaivesVanish) {
    World world(grid(), "0: A B G; 1: C");
    Position *winter = world.position(SEASON_WINTER, "0 A A; 1 A C; 1 A I; 1 A F", 1904);
    ASSERT_EQ(winter->unit_count, 6);  // two build slots for power 0
    world.order(winter, "I", "REMOVE");
    world.choose(winter->units[4], "BUILD B");
    Position *spring = world.next(winter);
    EXPECT_EQ(world.describe(spring), "spring 1905: 0 A A; 1 A C; 1 A F; 0 A B");
    EXPECT_EQ(spring->centres, winter->centres);
}

TEST(Adjustments, ABuiltUnitTakesTheSlotsPowerAndType) {
    Board homes(R"(
        powers 2
        coast K*1
        sea   S
        fleet K-S
    )");
    World coast(homes, "1: K");
    Position *winter = coast.position(SEASON_WINTER, "");
    ASSERT_EQ(winter->unit_count, 1);
    winter->units[0]->unit_type = UNIT_FLEET;
    coast.choose(winter->units[0], "BUILD K/f");
    EXPECT_EQ(coast.describe(coast.next(winter)), "spring 1902: 1 F K");
}

TEST(Adjustments, SlotsOnHoldAndStrayTokensKeepCountAndEntriesTogether) {
    World world(grid(), "0: A B G; 1: C");
    Position *winter = world.position(SEASON_WINTER, "0 A A; 1 A C; 1 A I");
    ASSERT_EQ(winter->unit_count, 5);
    winter->units[3]->order.token = ORD_HOLD;  // a build slot left on hold: a waive
    winter->units[4]->order.token = ORD_BUILD; // a build with no target: a waive
    winter->units[4]->order.target = nullptr;
    winter->units[1]->order.token = 0x1143;    // an unknown token: the unit stays
    winter->units[2]->order.token = ORD_DISBAND;
    EXPECT_EQ(world.describe(world.next(winter)), "spring 1902: 0 A A; 1 A C; 1 A I");
}

// ---------------------------------------------------------------------------
// A game through two whole years
// ---------------------------------------------------------------------------

TEST(Game, TwoYearsPhaseByPhase) {
    World world(grid(), "0: A B; 1: C; 2: G");
    Position *now = world.position(SEASON_SPRING, "0 A A; 0 A B; 1 A C; 2 A G", 1901);
    now = play(world, now, {{"A", "MOVE D"}, {"B", "MOVE E"}, {"C", "MOVE F"}, {"G", "MOVE H"}});
    EXPECT_EQ(world.describe(now), "fall 1901: 0 A D; 0 A E; 1 A F; 2 A H");
    // H (power 2) helps E into the neutral I ahead of F.
    now = play(world, now, {{"E", "MOVE I"}, {"H", "SUPPORT A E -> I"}, {"F", "MOVE I"}});
    EXPECT_EQ(world.describe(now), "winter 1901: 0 A D; 0 A I; 1 A F; 2 A H; 0 A (slot)");
    EXPECT_EQ(world.owners(now), "0: A B E; 1: C; 2: G");
    world.choose(now->units[4], "BUILD A");
    now = world.next(now);
    EXPECT_EQ(world.describe(now), "spring 1902: 0 A D; 0 A I; 1 A F; 2 A H; 0 A A");
    now = play(world, now, {{"A", "MOVE E"}, {"H", "MOVE G"}, {"I", "MOVE F"}});
    EXPECT_EQ(world.describe(now), "fall 1902: 0 A D; 0 A I; 1 A F; 2 A G; 0 A E");
    now = play(world, now, {{"D", "MOVE G"}, {"E", "SUPPORT A D -> G"}, {"I", "MOVE F"}});
    EXPECT_EQ(world.describe(now), "autumn 1902: 0 A G; 0 A I; 1 A F; 2 A G dislodged; 0 A E");
    world.choose(now->units[3], "DISBAND");
    now = world.next(now);
    // Power 0 stands on E, G and I and still owns A and B: two builds.
    EXPECT_EQ(world.describe(now), "winter 1902: 0 A G; 0 A I; 1 A F; 0 A E; 0 A (slot); 0 A (slot)");
    EXPECT_EQ(world.owners(now), "0: A B E G I; 1: C");
    EXPECT_EQ(now->adjustment[0], 2);
    EXPECT_EQ(now->adjustment[2], 0);
    now = world.next(now);
    EXPECT_EQ(world.describe(now), "spring 1903: 0 A G; 0 A I; 1 A F; 0 A E");
}

// ---------------------------------------------------------------------------
// Allocation failure
// ---------------------------------------------------------------------------

TEST(AdjudicationMemory, EveryFailedAllocationGivesNothingAndLeaksNothing) {
    World world(grid(), "0: A B; 1: C; 2: G");
    World sea(iberia(), "1: SPA");
    struct Case {
        World &world;
        uint16_t season;
        const char *units;
        Orders orders;
    } cases[] = {
        {world, SEASON_SPRING, "0 A D; 2 A G; 1 A E", {{"D", "MOVE E"}, {"G", "SUPPORT A D -> E"}}},
        {world, SEASON_FALL, "0 A E; 0 A A; 1 A C; 2 A G", {{"E", "MOVE I"}}},
        {world, SEASON_AUTUMN, "0 A E dislodged -> F; 1 A C", {{"E", "RETREAT F"}}},
        {world, SEASON_WINTER, "0 A A; 1 A C; 1 A I", {{"I", "REMOVE"}}},
        // A convoy, and a next Position whose fleets and coastal armies get
        // convoy candidates of their own.
        {sea, SEASON_SPRING, "0 A GAS; 0 F MAO; 1 F WES; 1 A MAR",
         {{"GAS", "CONVOY_MOVE POR/f via MAO"}, {"MAO", "CONVOY A GAS -> POR/f"}}},
        // A fall into winter: the winter step makes a new CentreTable.
        {sea, SEASON_FALL, "0 A GAS; 1 A MAR", {{"GAS", "MOVE SPA"}}},
    };
    for (const Case &c : cases) {
        Position *position = c.world.position(c.season, c.units);
        for (const auto &[province, order] : c.orders) c.world.order(position, province, order);
        std::string expected = c.world.describe(c.world.next(position));
        long before = test_memory::live_blocks();
        for (long n = 1;; n++) {
            test_memory::fail_at(n);
            Position *next = brox_adjudicate(position);
            bool failed = test_memory::failed();
            test_memory::fail_at(0);
            if (!failed) {
                EXPECT_EQ(c.world.describe(next), expected);
                brox_position_free(next);
                break;
            }
            EXPECT_EQ(next, nullptr) << expected << ", allocation " << n;
            EXPECT_EQ(test_memory::live_blocks(), before) << expected << ", allocation " << n;
        }
        EXPECT_EQ(test_memory::live_blocks(), before);
    }
}

}  // namespace
