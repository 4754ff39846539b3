// Convoy routes: the chains of fleets at sea that carry armies, as reach
// entries and as convoyed-move and convoy candidates.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "board.h"
#include "world.h"

namespace {

using board::Board;

Texts with_prefix(const Texts &texts, const std::string &prefix) {
    Texts out;
    for (const std::string &text : texts)
        if (text.rfind(prefix, 0) == 0) out.push_back(text);
    return out;
}

std::vector<std::string> reach_names(const World &world, const Position *position, const char *province) {
    const ProvinceState &state = position->provinces[world.board.index(province)];
    std::vector<std::string> names;
    for (uint16_t r = 0; r < state.reach_count; r++) names.push_back(world.name(state.reach[r]));
    return names;
}

// Army A in coastal X; fleet F1 in sea S1 touching X, coastal Y and sea S2;
// fleet F2 in S2 touching S1 and coastal Z.
const Board &example() {
    static const Board board(R"(
        powers 2
        coast X Y Z
        sea   S1 S2
        fleet S1-X S1-Y S1-S2 S2-Z
    )");
    return board;
}

TEST(Convoys, TheWorkedExample) {
    World world(example());
    Position *position = world.position(SEASON_SPRING, "0 A X; 0 F S1; 1 F S2");
    ASSERT_NE(position, nullptr);
    EXPECT_EQ(world.candidates(world.unit(position, "X")),
              (Texts{"CONVOY_MOVE Y/f via S1", "CONVOY_MOVE Z/f via S1,S2", "HOLD"}));
    EXPECT_EQ(world.candidates(world.unit(position, "S1")),
              (Texts{"CONVOY A X -> Y/f", "CONVOY A X -> Z/f", "HOLD", "MOVE X/f", "MOVE Y/f",
                     "MOVE S2", "SUPPORT A X", "SUPPORT F S2", "SUPPORT A X -> Y/f"}));
    EXPECT_EQ(world.candidates(world.unit(position, "S2")),
              (Texts{"CONVOY A X -> Z/f", "HOLD", "MOVE S1", "MOVE Z/f", "SUPPORT F S1",
                     "SUPPORT A X -> Z/f"}));
    // Pass 0 put the army behind the direct entries of Y and Z, not of X.
    EXPECT_EQ(reach_names(world, position, "Y"), (std::vector<std::string>{"F S1", "A X"}));
    EXPECT_EQ(position->provinces[example().index("Y")].direct_reach_count, 1);
    EXPECT_EQ(reach_names(world, position, "Z"), (std::vector<std::string>{"F S2", "A X"}));
    EXPECT_EQ(reach_names(world, position, "X"), (std::vector<std::string>{"F S1"}));
    // The convoy and the convoyed move share one landing location.
    const Order *move = world.candidate(world.unit(position, "X"), "CONVOY_MOVE Z/f via S1,S2");
    const Order *convoy = world.candidate(world.unit(position, "S2"), "CONVOY A X -> Z/f");
    ASSERT_TRUE(move && convoy);
    EXPECT_EQ(move->target, convoy->target);
    EXPECT_EQ(move->route_length, 2);
    EXPECT_EQ(convoy->other_unit, world.unit(position, "X"));
    // Fall runs the same search; retreat seasons and winter do not.
    Position *fall = world.position(SEASON_FALL, "0 A X; 0 F S1; 1 F S2");
    EXPECT_EQ(with_prefix(world.candidates(world.unit(fall, "X")), "CONVOY_MOVE").size(), 2u);
    Position *summer = world.position(SEASON_SUMMER, "0 A X; 0 F S1; 1 F S2");
    EXPECT_TRUE(world.candidates(world.unit(summer, "X")).empty());
    EXPECT_TRUE(reach_names(world, summer, "Z") == (std::vector<std::string>{"F S2"}));
}

TEST(Convoys, AnArmyWhoseOnlyRoutesLeadHomeGetsNoneAndTheNextArmyStillDoes) {
    // The army in X is visited first; its one fleet touches only X, so every
    // route it has lands back in its own province.  The army in Y has a real
    // route to Z.  Both Positions must build, spring and fall, and
    // adjudicate.
    Board board(R"(
        powers 2
        coast X Y Z
        sea   S1 S2
        fleet S1-X S2-Y S2-Z
    )");
    World world(board);
    for (uint16_t season : {SEASON_SPRING, SEASON_FALL}) {
        Position *position = world.position(season, "0 A X; 0 F S1; 1 A Y; 1 F S2");
        ASSERT_NE(position, nullptr);
        EXPECT_EQ(world.candidates(world.unit(position, "X")), (Texts{"HOLD"}));
        EXPECT_EQ(with_prefix(world.candidates(world.unit(position, "S1")), "CONVOY"), Texts{});
        EXPECT_EQ(with_prefix(world.candidates(world.unit(position, "Y")), "CONVOY_MOVE"),
                  (Texts{"CONVOY_MOVE Z/f via S2"}));
        EXPECT_EQ(with_prefix(world.candidates(world.unit(position, "S2")), "CONVOY "),
                  (Texts{"CONVOY A Y -> Z/f"}));
        Position *next = brox_adjudicate(position);
        ASSERT_NE(next, nullptr);
        brox_position_free(next);
    }
}

TEST(Convoys, OnlyFleetsAtSeaCarryAndCoastsEndEveryChain) {
    // C is coastal with a fleet; the chain S1 - C - S2 does not pass C.
    Board board(R"(
        powers 1
        coast X C Y
        sea   S1 S2
        fleet X-S1 S1-C C-S2 S2-Y
    )");
    World world(board);
    Position *position = world.position(SEASON_SPRING, "0 A X; 0 F S1; 0 F C; 0 F S2; 0 A Y");
    ASSERT_NE(position, nullptr);
    EXPECT_EQ(with_prefix(world.candidates(world.unit(position, "X")), "CONVOY_MOVE"),
              (Texts{"CONVOY_MOVE C/f via S1"}));
    EXPECT_EQ(with_prefix(world.candidates(world.unit(position, "Y")), "CONVOY_MOVE"),
              (Texts{"CONVOY_MOVE C/f via S2"}));
    EXPECT_TRUE(with_prefix(world.candidates(world.unit(position, "C")), "CONVOY").empty());

    // A fleet at sea with no coast and no fleet beside it carries nothing.
    Board lonely(R"(
        powers 1
        coast X
        sea   S T
        fleet S-T
    )");
    World lonely_world(lonely);
    Position *alone = lonely_world.position(SEASON_SPRING, "0 A X; 0 F S");
    ASSERT_NE(alone, nullptr);
    EXPECT_EQ(lonely_world.candidates(lonely_world.unit(alone, "S")), (Texts{"HOLD", "MOVE T"}));
}

TEST(Convoys, ACoastReachedFromTwoFleetsOfOneChainGivesTwoRoutes) {
    Board board(R"(
        powers 1
        coast X Y
        sea   S1 S2
        fleet X-S1 S1-S2 S1-Y S2-Y
    )");
    World world(board);
    Position *position = world.position(SEASON_FALL, "0 A X; 0 F S1; 0 F S2");
    ASSERT_NE(position, nullptr);
    EXPECT_EQ(with_prefix(world.candidates(world.unit(position, "X")), "CONVOY_MOVE"),
              (Texts{"CONVOY_MOVE Y/f via S1", "CONVOY_MOVE Y/f via S1,S2"}));
    EXPECT_EQ(with_prefix(world.candidates(world.unit(position, "S1")), "CONVOY"),
              (Texts{"CONVOY A X -> Y/f"}));
}

// Two routes of one length to one landing, found by two walks: they are
// ordered by their fleets' provinces whichever walk ran first.  A fleet
// touching both coasts of the army's province finds each route twice; it
// is offered once.
TEST(Convoys, RoutesOfOneLengthToOneLandingAreOrderedByProvinceAndListedOnce) {
    for (const char *seas : {"sea S1 S2 S3", "sea S2 S1 S3"}) {
        Board board(std::string("powers 1\ncoast X Y\n") + seas + "\nfleet X-S1 X-S2 S1-S3 S2-S3 S3-Y\n");
        World world(board);
        Position *position = world.position(SEASON_SPRING, "0 A X; 0 F S2; 0 F S1; 0 F S3");
        ASSERT_NE(position, nullptr);
        Texts expected = seas[5] == '1' ? Texts{"CONVOY_MOVE Y/f via S1,S3", "CONVOY_MOVE Y/f via S2,S3"}
                                        : Texts{"CONVOY_MOVE Y/f via S2,S3", "CONVOY_MOVE Y/f via S1,S3"};
        EXPECT_EQ(with_prefix(world.candidates(world.unit(position, "X")), "CONVOY_MOVE"), expected) << seas;
    }
    Board twice(R"(
        powers 1
        coast A/nc/sc Y
        sea   S
        fleet S-A/nc S-A/sc S-Y
    )");
    World world(twice);
    Position *position = world.position(SEASON_SPRING, "0 A A; 0 F S");
    ASSERT_NE(position, nullptr);
    EXPECT_EQ(with_prefix(world.candidates(world.unit(position, "A")), "CONVOY_MOVE"),
              (Texts{"CONVOY_MOVE Y/f via S"}));
    EXPECT_EQ(with_prefix(world.candidates(world.unit(position, "S")), "CONVOY"), (Texts{"CONVOY A A -> Y/f"}));
}

TEST(Convoys, TwoArmiesBesideOneFleetEachGetEveryRoute) {
    Board board(R"(
        powers 2
        coast X W Y
        sea   S
        fleet X-S W-S S-Y
    )");
    World world(board);
    Position *position = world.position(SEASON_SPRING, "0 A X; 1 A W; 0 F S");
    ASSERT_NE(position, nullptr);
    EXPECT_EQ(with_prefix(world.candidates(world.unit(position, "X")), "CONVOY_MOVE"),
              (Texts{"CONVOY_MOVE W/f via S", "CONVOY_MOVE Y/f via S"}));
    EXPECT_EQ(with_prefix(world.candidates(world.unit(position, "W")), "CONVOY_MOVE"),
              (Texts{"CONVOY_MOVE X/f via S", "CONVOY_MOVE Y/f via S"}));
    EXPECT_EQ(with_prefix(world.candidates(world.unit(position, "S")), "CONVOY"),
              (Texts{"CONVOY A W -> X/f", "CONVOY A X -> W/f", "CONVOY A X -> Y/f", "CONVOY A W -> Y/f"}));
}

TEST(Convoys, LandingIsTheLocationTheSeaTouchesAndArmiesAreListedOnce) {
    Board board(R"(
        powers 2
        coast X Y SPA/nc/sc
        sea   S
        fleet X-S S-SPA/sc S-Y
        army  X-Y
        land  B
        army  B-Y
    )");
    World world(board);
    Position *position = world.position(SEASON_SPRING, "0 A X; 0 F S; 1 A B");
    ASSERT_NE(position, nullptr);
    EXPECT_EQ(with_prefix(world.candidates(world.unit(position, "X")), "CONVOY_MOVE"),
              (Texts{"CONVOY_MOVE SPA/sc via S", "CONVOY_MOVE Y/f via S"}));
    // X reaches Y by land and by sea: one entry.
    EXPECT_EQ(reach_names(world, position, "Y"), (std::vector<std::string>{"A X", "F S", "A B"}));
    // B may support the army's convoyed move into Y as well as its land move.
    Texts supports = with_prefix(world.candidates(world.unit(position, "B")), "SUPPORT");
    EXPECT_NE(std::find(supports.begin(), supports.end(), "SUPPORT A X -> Y"), supports.end());
    EXPECT_EQ(reach_names(world, position, "SPA"), (std::vector<std::string>{"F S", "A X"}));
}

TEST(Convoys, ADislodgedFleetStartsAWalkButOnlyStandingFleetsConvoy) {
    Board board(R"(
        powers 2
        coast X Y
        sea   S
        fleet X-S S-Y
    )");
    World world(board);
    Position *position = world.position(SEASON_SPRING, "0 A X; 1 F S dislodged");
    ASSERT_NE(position, nullptr);
    EXPECT_EQ(with_prefix(world.candidates(world.unit(position, "X")), "CONVOY_MOVE"),
              (Texts{"CONVOY_MOVE Y/f via S"}));
    EXPECT_TRUE(with_prefix(world.candidates(position->units[1]), "CONVOY").empty());
}

// A line of seas S0 .. S24 with a fleet in each, an army on the coast at
// the start and a coast beside every sea: no chain grows past 20 fleets.
TEST(Convoys, ChainsStopAtTwentyFleets) {
    std::string seas, fleets, coasts, units = "0 A C0";
    for (int i = 0; i < 25; i++) {
        seas += " S" + std::to_string(i);
        coasts += " C" + std::to_string(i);
        fleets += " S" + std::to_string(i) + "-C" + std::to_string(i);
        if (i > 0) fleets += " S" + std::to_string(i - 1) + "-S" + std::to_string(i);
        units += "; 0 F S" + std::to_string(i);
    }
    Board board("powers 1\ncoast" + coasts + "\nsea" + seas + "\nfleet" + fleets + "\n");
    World world(board);
    Position *position = world.position(SEASON_SPRING, units);
    ASSERT_NE(position, nullptr);
    Texts moves = with_prefix(world.candidates(world.unit(position, "C0")), "CONVOY_MOVE");
    EXPECT_EQ(moves.size(), 19u);  // C1 .. C19, through up to 20 fleets
    const Order *longest = world.candidate(world.unit(position, "C0"), moves.back());
    ASSERT_NE(longest, nullptr);
    EXPECT_EQ(longest->route_length, 20);
    for (const std::string &text : moves) EXPECT_EQ(text.find("C20"), std::string::npos) << text;
}

// A sea grid full of fleets has more routes than a walk keeps: the walk
// stops finishing routes once 1,023 are kept, and the build completes.
TEST(Convoys, AWalkKeepsAtMost1023Routes) {
    std::string seas, coasts, fleets, units = "0 A K";
    const int side = 5;
    auto sea = [](int x, int y) { return "S" + std::to_string(x) + std::to_string(y); };
    for (int y = 0; y < side; y++)
        for (int x = 0; x < side; x++) {
            seas += " " + sea(x, y);
            coasts += " C" + std::to_string(x) + std::to_string(y);
            fleets += " " + sea(x, y) + "-C" + std::to_string(x) + std::to_string(y);
            if (x + 1 < side) fleets += " " + sea(x, y) + "-" + sea(x + 1, y);
            if (y + 1 < side) fleets += " " + sea(x, y) + "-" + sea(x, y + 1);
            units += "; 0 F " + sea(x, y);
        }
    Board board("powers 1\ncoast K" + coasts + "\nsea" + seas + "\nfleet K-S00" + fleets + "\n");
    World world(board);
    Position *position = world.position(SEASON_SPRING, units);
    ASSERT_NE(position, nullptr);
    const Unit *army = world.unit(position, "K");
    size_t routes = with_prefix(world.candidates(army), "CONVOY_MOVE").size();
    EXPECT_GT(routes, 100u);
    EXPECT_LE(routes, 1023u);
    for (const std::string &text : with_prefix(world.candidates(army), "CONVOY_MOVE"))
        EXPECT_LE(std::count(text.begin(), text.end(), ',') + 1, 20) << text;
}

}  // namespace
