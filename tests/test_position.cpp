// Building Positions: placement and coasts, owners, reach lists, the
// candidate sets of every season, build slots, and freeing.
#include <gtest/gtest.h>

#include "board.h"
#include "doubles.h"
#include "world.h"
#include "world/centres.h"
#include "world/position.h"
#include "world/position_message.h"

namespace {

using board::Board;

// A small corner of a board: an inland province, coasts (one with two
// fleet coasts) and seas.
const Board &corner() {
    static const Board board(R"(
        powers 3
        land  PAR*0 BUR
        coast BRE*0 PIC GAS SPA*/nc/sc
        sea   MAO ENG
        army  PAR-BUR PAR-PIC PAR-BRE PAR-GAS BRE-PIC BRE-GAS GAS-SPA BUR-PIC
        fleet BRE-MAO BRE-ENG BRE-PIC ENG-PIC MAO-ENG MAO-SPA/nc MAO-GAS GAS-SPA/nc
    )");
    return board;
}

std::vector<uint16_t> reach_of(const Position *position, const World &world, const char *province) {
    (void)world;
    const ProvinceState &state = position->provinces[world.board.index(province)];
    std::vector<uint16_t> units;
    for (uint16_t r = 0; r < state.reach_count; r++)
        for (uint16_t u = 0; u < position->unit_count; u++)
            if (position->units[u] == state.reach[r]) units.push_back(u);
    return units;
}

// ---------------------------------------------------------------------------
// Placement, coasts and owners
// ---------------------------------------------------------------------------

TEST(PositionPlacement, OpenCoastsAreChosenAndWrittenBackIntoTheMessage) {
    World world(corner(), "0: PAR BRE");
    std::vector<uint8_t> message = corner().position(SEASON_SPRING, 1901, "0 F BRE/?; 1 F MAO/?; 0 A PAR/?; 2 A PIC/?");
    Position *position = world.position(message);
    ASSERT_NE(position, nullptr);
    auto written_coast = [&](uint16_t u) {
        PositionUnitEntry entry;
        position_unit_read(position_message_unit(message.data(), u), &entry);
        return entry.coast;
    };
    EXPECT_EQ(written_coast(0), COAST_SHORE);  // coastal: 4
    EXPECT_EQ(written_coast(1), COAST_SEA);    // sea: 2
    EXPECT_EQ(world.name(position->units[0]->location), "BRE/f");
    EXPECT_EQ(world.name(position->units[1]->location), "MAO");
    // An army always takes its army location, inland or on a coast: on a
    // fleet location it would be offered fleet moves.
    EXPECT_EQ(written_coast(2), COAST_ARMY);
    EXPECT_EQ(written_coast(3), COAST_ARMY);
    ASSERT_EQ(position->unit_count, 4);
    EXPECT_EQ(world.name(position->units[2]->location), "PAR");
    EXPECT_EQ(world.name(position->units[3]->location), "PIC");
}

TEST(PositionPlacement, UnitsStandAtTheirLocationsAndOwnersFollowTheTable) {
    World world(corner(), "0: PAR BRE; 1: SPA PAR");
    Position *position = world.position(SEASON_SPRING, "0 A PAR; 1 F SPA/nc; 2 F ENG", 1907);
    ASSERT_NE(position, nullptr);
    ASSERT_EQ(position->unit_count, 3);
    EXPECT_EQ(position->year, 1907);
    EXPECT_EQ(position->season, SEASON_SPRING);
    EXPECT_EQ(position->map, world.map);
    EXPECT_EQ(position->centres, world.centres);
    EXPECT_EQ(world.name(world.unit(position, "PAR")), "A PAR");
    EXPECT_EQ(world.unit(position, "PAR")->location->coast, COAST_ARMY);
    EXPECT_EQ(world.name(world.unit(position, "SPA")), "F SPA/nc");
    EXPECT_EQ(world.unit(position, "SPA")->power, 1);
    EXPECT_EQ(position->unit_counts[0], 1);
    EXPECT_EQ(position->unit_counts[1], 1);
    EXPECT_EQ(position->unit_counts[2], 1);
    // PAR is listed for power 0 and then power 1: the later one owns it.
    EXPECT_EQ(position->provinces[corner().index("PAR")].owner, 1);
    EXPECT_EQ(position->provinces[corner().index("BRE")].owner, 0);
    EXPECT_EQ(position->provinces[corner().index("BUR")].owner, 3);
    for (uint16_t l = 0; l < world.map->location_count; l++) {
        EXPECT_EQ(position->locations[l].location, &world.map->locations[l]);
        EXPECT_EQ(position->locations[l].coast, world.map->locations[l].coast);
        EXPECT_EQ(position->locations[l].province->province, world.map->locations[l].province);
    }
    EXPECT_EQ(position->units[0]->order.token, ORD_HOLD);
    EXPECT_EQ(position->units[0]->order.target, nullptr);
    EXPECT_EQ(position->units[0]->result, 0u);
}

TEST(PositionPlacement, ADislodgedUnitIsKeptApartButCountsAndReaches) {
    World world(corner());
    Position *position = world.position(SEASON_SPRING, "0 A PIC; 1 A PIC dislodged -> BUR");
    ASSERT_NE(position, nullptr);
    const ProvinceState &pic = position->provinces[corner().index("PIC")];
    EXPECT_EQ(pic.unit, position->units[0]);
    EXPECT_EQ(pic.dislodged_unit, position->units[1]);
    EXPECT_EQ(position->units[1]->dislodged, 1u);
    EXPECT_EQ(position->unit_counts[1], 1);
    EXPECT_EQ(reach_of(position, world, "BUR"), (std::vector<uint16_t>{0, 1}));
    // Retreat candidates in a movement season, then movement candidates too.
    Texts texts = world.candidates(position->units[1]);
    EXPECT_EQ(texts.front(), "HOLD");
    EXPECT_NE(std::find(texts.begin(), texts.end(), "DISBAND"), texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(), "RETREAT BUR"), texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(), "MOVE PAR"), texts.end());
}

// ---------------------------------------------------------------------------
// Reach lists
// ---------------------------------------------------------------------------

TEST(PositionReach, UnitsAreListedOncePerProvinceInUnitOrder) {
    World world(corner());
    Position *position = world.position(SEASON_SUMMER, "2 F MAO; 0 A BRE; 1 A GAS; 0 F ENG");
    ASSERT_NE(position, nullptr);
    // MAO touches SPA through one coast only; GAS reaches SPA by army.
    EXPECT_EQ(reach_of(position, world, "SPA"), (std::vector<uint16_t>{0, 2}));
    EXPECT_EQ(reach_of(position, world, "PIC"), (std::vector<uint16_t>{1, 3}));
    // BRE is reached by MAO and ENG fleets and the army in GAS.
    EXPECT_EQ(reach_of(position, world, "BRE"), (std::vector<uint16_t>{0, 2, 3}));
    EXPECT_EQ(position->provinces[corner().index("BRE")].direct_reach_count, 3);
    EXPECT_TRUE(reach_of(position, world, "BUR").empty());
}

TEST(PositionReach, AUnitWithTwoLocationsIntoOneProvinceIsListedOnce) {
    Board board(R"(
        powers 1
        coast SPA/nc/sc
        sea   MAO
        fleet MAO-SPA/nc MAO-SPA/sc
    )");
    World world(board);
    Position *position = world.position(SEASON_SPRING, "0 F MAO");
    ASSERT_NE(position, nullptr);
    EXPECT_EQ(reach_of(position, world, "SPA"), (std::vector<uint16_t>{0}));
    EXPECT_EQ(world.candidates(position->units[0]), (Texts{"HOLD", "MOVE SPA/nc", "MOVE SPA/sc"}));
}

TEST(PositionReach, AnEmptySpringHasNoUnitsAndNoReach) {
    World world(corner());
    Position *position = world.position(SEASON_SPRING, "");
    ASSERT_NE(position, nullptr);
    EXPECT_EQ(position->unit_count, 0);
    for (uint16_t i = 0; i < world.map->province_count; i++) EXPECT_EQ(position->provinces[i].reach_count, 0);
}

// ---------------------------------------------------------------------------
// Movement candidates
// ---------------------------------------------------------------------------

TEST(MovementCandidates, HoldMovesAndSupportsInWalkOrder) {
    World world(corner());
    Position *position = world.position(SEASON_SPRING, "0 A PAR; 1 A BUR; 2 A GAS; 1 F ENG");
    ASSERT_NE(position, nullptr);
    // Moves by location index, then supports to hold before supports to
    // move, each group by supported unit; foreign units are supported too.
    EXPECT_EQ(world.candidates(world.unit(position, "PAR")),
              (Texts{"HOLD", "MOVE BUR", "MOVE PIC", "MOVE BRE", "MOVE GAS",
                     "SUPPORT A BUR", "SUPPORT A GAS",
                     "SUPPORT A BUR -> PIC", "SUPPORT F ENG -> PIC", "SUPPORT A GAS -> BRE",
                     "SUPPORT F ENG -> BRE"}));
    EXPECT_EQ(world.candidates(world.unit(position, "BUR")),
              (Texts{"HOLD", "MOVE PAR", "MOVE PIC", "SUPPORT A PAR", "SUPPORT A GAS -> PAR",
                     "SUPPORT A PAR -> PIC", "SUPPORT F ENG -> PIC"}));
}

TEST(MovementCandidates, AUnitWithoutAdjacenciesOnlyHolds) {
    Board board(R"(
        powers 1
        land A B
    )");
    World world(board);
    Position *fall = world.position(SEASON_FALL, "0 A A");
    ASSERT_NE(fall, nullptr);
    EXPECT_EQ(world.candidates(fall->units[0]), (Texts{"HOLD"}));
}

// Support to move is made for the first of consecutive adjacency entries
// into one province, and again when the province comes back later.
TEST(MovementCandidates, SupportToMoveFollowsRunsOfAdjacencyEntries) {
    Board board(R"(
        powers 2
        coast X/a/b/c
        sea   S T
        coast Q
        fleet S>X/a S>X/b S>Q S>X/c S>Q S>X/a
        fleet T>X/b
    )");
    World world(board);
    Position *position = world.position(SEASON_SPRING, "0 F S; 1 F T");
    ASSERT_NE(position, nullptr);
    EXPECT_EQ(world.candidates(world.unit(position, "S")),
              (Texts{"HOLD", "MOVE X/a", "MOVE X/b", "MOVE Q/f", "MOVE X/c",
                     "SUPPORT F T -> X/a", "SUPPORT F T -> X/c"}));
}

// ---------------------------------------------------------------------------
// Retreat-season, winter and other season words
// ---------------------------------------------------------------------------

TEST(SeasonCandidates, RetreatSeasonsGiveCandidatesToDislodgedUnitsOnly) {
    World world(corner());
    for (uint16_t season : {SEASON_SUMMER, SEASON_AUTUMN}) {
        Position *position = world.position(season, "0 A PAR; 1 A BUR dislodged -> PIC GAS/?; 2 F MAO dislodged");
        ASSERT_NE(position, nullptr);
        EXPECT_TRUE(world.candidates(position->units[0]).empty());
        EXPECT_EQ(position->units[0]->order.token, ORD_HOLD);
        // The army's open retreat coast is its army location.
        EXPECT_EQ(world.candidates(position->units[1]), (Texts{"DISBAND", "RETREAT PIC", "RETREAT GAS"}));
        EXPECT_EQ(world.candidates(position->units[2]), (Texts{"DISBAND"}));
    }
}

TEST(SeasonCandidates, RetreatOptionsWithOpenOrUnknownLocations) {
    World world(corner());
    std::vector<board::UnitEntry> units = corner().units("1 F ENG dislodged -> MAO/? PIC/? BUR/7");
    units[0].retreats.push_back({299, COAST_ANY});  // a province the map does not have
    units[0].retreats.push_back({corner().index("PAR"), COAST_ANY});  // PAR has no shore
    std::vector<uint8_t> message = board::position_message(SEASON_AUTUMN, 1901, units);
    Position *position = world.position(message);
    ASSERT_NE(position, nullptr);
    // Options naming no known location collapse into one retreat with no target.
    EXPECT_EQ(world.candidates(position->units[0]),
              (Texts{"DISBAND", "RETREAT -", "RETREAT MAO", "RETREAT PIC/f"}));
    PositionUnitEntry entry;
    position_unit_read(position_message_unit(message.data(), 0), &entry);
    ASSERT_EQ(entry.retreat_count, 5);
    EXPECT_EQ(entry.retreats[0].coast, COAST_SEA);
    EXPECT_EQ(entry.retreats[1].coast, COAST_SHORE);
    EXPECT_EQ(entry.retreats[2].coast, 7);
    EXPECT_EQ(entry.retreats[3].coast, COAST_SEA);
    EXPECT_EQ(entry.retreats[4].coast, COAST_SEA);
}

TEST(SeasonCandidates, WinterBuildSlotsAndRemovals) {
    World world(corner(), "0: PAR BRE SPA; 1: GAS");
    Position *position = world.position(SEASON_WINTER, "0 A BUR; 1 A GAS; 1 A PIC; 1 F MAO; 2 F ENG");
    ASSERT_NE(position, nullptr);
    EXPECT_EQ(position->adjustment[0], 2);
    EXPECT_EQ(position->adjustment[1], -2);
    EXPECT_EQ(position->adjustment[2], -1);
    EXPECT_EQ(position->unit_counts[0], 1);
    ASSERT_EQ(position->unit_count, 7);
    Unit *first_slot = position->units[5];
    Unit *second_slot = position->units[6];
    for (Unit *slot : {first_slot, second_slot}) {
        EXPECT_EQ(slot->location, nullptr);
        EXPECT_EQ(slot->unit_type, UNIT_ARMY);
        EXPECT_EQ(slot->power, 0);
        EXPECT_EQ(slot->order.token, ORD_WAIVE);
        EXPECT_EQ(slot->dislodged, 0u);
    }
    // SPA is owned by power 0 but is nobody's home; PAR and BRE are.
    EXPECT_EQ(world.candidates(first_slot), (Texts{"BUILD PAR", "BUILD BRE", "BUILD BRE/f", "WAIVE"}));
    EXPECT_TRUE(world.candidates(second_slot).empty());
    // Removals: hold walks before remove.
    EXPECT_EQ(world.candidates(position->units[1]), (Texts{"HOLD", "REMOVE"}));
    EXPECT_EQ(world.candidates(position->units[4]), (Texts{"HOLD", "REMOVE"}));
    EXPECT_TRUE(world.candidates(position->units[0]).empty());
}

// Past MAX_UNITS the build slots that fit are dealt one at a time to the
// powers with builds due, in power order, not handed to the lowest
// indices first.
TEST(SeasonCandidates, BuildSlotsThatDoNotAllFitAreDealtInTurn) {
    std::string text = "powers 4\nland H0*0 H1*0 H2*0 H3*1 H4*2 H5*2 H6*2";
    std::string units;
    for (int p = 0; p < 96; p++) {
        text += " P" + std::to_string(p);
        units += (p ? "; 3 A P" : "3 A P") + std::to_string(p);
    }
    Board board(text + "\n");
    // Builds due: 3, 1 and 3; power 3 must remove 96.  Room: 4 slots.
    World world(board, "0: H0 H1 H2; 1: H3; 2: H4 H5 H6");
    Position *position = world.position(SEASON_WINTER, units);
    ASSERT_NE(position, nullptr);
    ASSERT_EQ(position->unit_count, MAX_UNITS);
    EXPECT_EQ(position->adjustment[0], 3);
    EXPECT_EQ(position->adjustment[2], 3);
    std::vector<uint16_t> slot_powers;
    for (uint16_t u = 96; u < position->unit_count; u++) {
        EXPECT_EQ(position->units[u]->location, nullptr);
        slot_powers.push_back(position->units[u]->power);
    }
    // One each in turn, then power 0 again; each power's slots together.
    EXPECT_EQ(slot_powers, (std::vector<uint16_t>{0, 0, 1, 2}));
    EXPECT_EQ(world.candidates(position->units[96]).size(), 4u);  // three builds and a waive
    EXPECT_TRUE(world.candidates(position->units[97]).empty());
    EXPECT_EQ(world.candidates(position->units[99]).size(), 4u);
}

TEST(SeasonCandidates, BuildsNeedAnEmptyHomeCentreOwnedByItsHomePower) {
    Board board(R"(
        powers 2
        land A*0 B*0 C*1 D*1
    )");
    World world(board, "0: A B C; 1: D");
    Position *position = world.position(SEASON_WINTER, "1 A B");
    ASSERT_NE(position, nullptr);
    // Power 0: A is free; B is occupied (by anyone); C is power 1's home.
    ASSERT_EQ(position->unit_count, 4);
    Unit *slot = position->units[1];
    ASSERT_EQ(slot->power, 0);
    EXPECT_EQ(world.candidates(slot), (Texts{"BUILD A", "WAIVE"}));
    // Power 1 owns D and has one unit: nothing to adjust.
    EXPECT_EQ(position->adjustment[1], 0);
    EXPECT_TRUE(world.candidates(position->units[0]).empty());
}

TEST(SeasonCandidates, AnyOtherSeasonWordBuildsAsWinter) {
    World world(corner(), "0: PAR BRE");
    Position *position = world.position(POSITION_REQUEST_SEASON, "0 A BUR");
    ASSERT_NE(position, nullptr);
    EXPECT_EQ(position->season, POSITION_REQUEST_SEASON);
    EXPECT_EQ(position->adjustment[0], 1);
    ASSERT_EQ(position->unit_count, 2);
    EXPECT_EQ(position->units[1]->order.token, ORD_WAIVE);
}

// ---------------------------------------------------------------------------
// Freeing
// ---------------------------------------------------------------------------

TEST(PositionFree, ASharedCentreTableOutlivesItsPositions) {
    World world(corner(), "0: PAR");
    long before = test_memory::live_blocks();
    Position *first = world.position(SEASON_SPRING, "0 A PAR; 1 F MAO");
    Position *second = world.position(SEASON_FALL, "0 A BUR");
    EXPECT_EQ(world.centres->ref_count, 3);
    brox_position_free(first);
    world.forget(first);
    EXPECT_EQ(world.centres->ref_count, 2);
    brox_position_free(second);
    world.forget(second);
    EXPECT_EQ(world.centres->ref_count, 1);
    EXPECT_EQ(test_memory::live_blocks(), before);

    // A table held only by a Position goes with it.
    std::vector<uint8_t> ownership = corner().centres("1: SPA");
    CentreTable *table = centre_table_build(world.map, ownership.data());
    std::vector<uint8_t> message = corner().position(SEASON_SPRING, 1901, "0 A PAR");
    Position *alone = position_build(world.map, table, message.data());
    ASSERT_NE(alone, nullptr);
    EXPECT_EQ(table->ref_count, 1);
    brox_position_free(alone);
    EXPECT_EQ(test_memory::live_blocks(), before);
}

// A candidate taken out of its set and released stays valid memory until
// its Position goes; freeing the Position then returns everything once.
TEST(PositionFree, ACandidateReleasedOnItsOwnGoesWithItsPosition) {
    World world(corner());
    long before = test_memory::live_blocks();
    std::vector<uint8_t> message = corner().position(SEASON_SPRING, 1901, "0 A PAR; 1 A BUR");
    Position *position = position_build(world.map, world.centres, message.data());
    ASSERT_NE(position, nullptr);
    Unit *unit = position->units[0];
    uint32_t count = unit->candidates.count;
    Order *order = static_cast<Order *>(LUM_AVL_ITEM(&unit->candidates, unit->candidates.last));
    lum_avl_remove(&unit->candidates, &order->node);
    brox_position_free_order(reinterpret_cast<void *>(0x1), order);
    EXPECT_EQ(unit->candidates.count, count - 1);
    unit_candidates_clear(&unit->candidates);
    EXPECT_EQ(unit->candidates.count, 0u);
    EXPECT_EQ(unit->candidates.root, nullptr);
    brox_position_free(position);
    EXPECT_EQ(test_memory::live_blocks(), before);
}

TEST(PositionFree, EveryFailedAllocationBuildsNothingAndLeaksNothing) {
    World world(corner(), "0: PAR BRE; 1: SPA");
    const char *cases[][2] = {
        {"spring", "0 A PAR; 1 F MAO; 2 A GAS; 0 F ENG; 1 A BRE dislodged -> PIC"},
        {"winter", "1 A BUR; 1 F ENG"},
    };
    for (auto &c : cases) {
        uint16_t season = std::string(c[0]) == "spring" ? SEASON_SPRING : SEASON_WINTER;
        std::vector<uint8_t> message = corner().position(season, 1901, c[1]);
        long before = test_memory::live_blocks();
        for (long n = 1;; n++) {
            std::vector<uint8_t> copy = message;
            test_memory::fail_at(n);
            Position *position = position_build(world.map, world.centres, copy.data());
            bool failed = test_memory::failed();
            test_memory::fail_at(0);
            if (!failed) {
                ASSERT_NE(position, nullptr);
                brox_position_free(position);
                EXPECT_GT(n, 2) << c[0];  // the block and a chunk of Orders at least
                break;
            }
            EXPECT_EQ(position, nullptr) << c[0] << " allocation " << n;
            EXPECT_EQ(test_memory::live_blocks(), before) << c[0] << " allocation " << n;
            EXPECT_EQ(world.centres->ref_count, 1);
        }
    }
}

}  // namespace
