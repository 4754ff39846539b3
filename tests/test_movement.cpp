// Movement adjudication, scenario by scenario: each test gives a board, the
// units, their orders, and the next Position as text.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "board.h"
#include "boards.h"
#include "world.h"

namespace {

using board::Board;
using Orders = std::vector<std::pair<const char *, const char *>>;

const Board &grid() { return grid_board(); }

// Coasts and seas around a province with two coasts: the shared Iberia
// (iberia_board) without its supply centre, and with Portugal's fleet
// moves to both coasts of Spain.
const Board &iberia_without_centres() {
    static const Board board(R"(
        powers 2
        coast GAS MAR SPA/nc/sc POR
        sea   MAO WES
        fleet MAO-SPA/nc MAO-POR MAO-GAS GAS-SPA/nc WES-SPA/sc MAR-SPA/sc MAO-WES
        fleet POR-SPA/nc POR-SPA/sc
        army  GAS-SPA MAR-SPA POR-SPA GAS-MAR
    )");
    return board;
}

std::string resolve(World &world, uint16_t season, const char *units, const Orders &orders) {
    Position *position = world.position(season, units);
    if (!position) return "(not built)";
    for (const auto &[province, order] : orders) world.order(position, province, order);
    return world.describe(world.next(position));
}

std::string spring(World &world, const char *units, const Orders &orders) {
    return resolve(world, SEASON_SPRING, units, orders);
}

// ---------------------------------------------------------------------------
// Which supports count
// ---------------------------------------------------------------------------

TEST(Supports, ASupportThatDoesNotMatchTheOrderGivesNothing) {
    World world(grid());
    // D's support to hold E is void because E moves; equal strength would
    // have bounced I.
    EXPECT_EQ(spring(world, "0 A E; 0 A D; 1 A I; 1 A H",
                     {{"E", "MOVE F"}, {"D", "SUPPORT A E"}, {"I", "MOVE F"}, {"H", "SUPPORT A I -> F"}}),
              "fall 1901: 0 A E; 0 A D; 1 A F; 1 A H");
    // A support to move into the wrong province is void as well.
    EXPECT_EQ(spring(world, "0 A E; 0 A D; 1 A I; 1 A H",
                     {{"E", "MOVE F"}, {"D", "SUPPORT A E -> H"}, {"I", "MOVE F"}, {"H", "SUPPORT A I -> F"}}),
              "fall 1901: 0 A E; 0 A D; 1 A F; 1 A H");
    // Counted, the two supports make the moves equal: both bounce.
    EXPECT_EQ(spring(world, "0 A E; 0 A B; 1 A I; 1 A H",
                     {{"E", "MOVE F"}, {"B", "SUPPORT A E -> F"}, {"I", "MOVE F"}, {"H", "SUPPORT A I -> F"}}),
              "fall 1901: 0 A E; 0 A B; 1 A I; 1 A H");
}

TEST(Supports, ASupportToAnotherCoastOfTheRightProvinceCounts) {
    World world(iberia_without_centres());
    EXPECT_EQ(spring(world, "0 F MAO; 0 F WES; 1 A SPA",
                     {{"MAO", "MOVE SPA/nc"}, {"WES", "SUPPORT F MAO -> SPA/sc"}}),
              "summer 1901: 0 F SPA/nc; 0 F WES; 1 A SPA dislodged");
}

// ---------------------------------------------------------------------------
// Cutting supports
// ---------------------------------------------------------------------------

TEST(Supports, AnAttackOfTheSamePowerDoesNotCut) {
    World world(grid());
    Orders orders = {{"D", "MOVE E"}, {"H", "SUPPORT A D -> E"}, {"G", "MOVE H"}};
    EXPECT_EQ(spring(world, "0 A D; 0 A H; 0 A G; 1 A E", orders),
              "summer 1901: 0 A E; 0 A H; 0 A G; 1 A E dislodged");
    // The same attack by another power cuts the support.
    EXPECT_EQ(spring(world, "0 A D; 0 A H; 2 A G; 1 A E", orders), "fall 1901: 0 A D; 0 A H; 2 A G; 1 A E");
}

TEST(Supports, AnAttackFromTheSupportedProvinceDoesNotCutEvenWhenItDislodges) {
    World world(grid());
    // E leaves for H and dislodges H, whose support still carries D into E
    // ahead of F.
    EXPECT_EQ(spring(world, "0 A D; 0 A H; 1 A E; 1 A I; 2 A F",
                     {{"D", "MOVE E"}, {"H", "SUPPORT A D -> E"}, {"E", "MOVE H"},
                      {"I", "SUPPORT A E -> H"}, {"F", "MOVE E"}}),
              "summer 1901: 0 A E; 0 A H dislodged; 1 A H; 1 A I; 2 A F");
}

TEST(Supports, AConvoyedArmyDoesNotCutSupportForAFleetOfItsRoute) {
    World world(iberia_without_centres());
    Orders orders = {{"GAS", "CONVOY_MOVE POR/f via MAO"}, {"MAO", "CONVOY A GAS -> POR/f"},
                     {"POR", "SUPPORT F MAO"}, {"WES", "MOVE MAO"}, {"SPA", "SUPPORT F WES -> MAO"}};
    EXPECT_EQ(spring(world, "0 A GAS; 0 F MAO; 1 F POR; 1 F WES; 1 F SPA/nc", orders),
              "fall 1901: 0 A GAS; 0 F MAO; 1 F POR; 1 F WES; 1 F SPA/nc");
}

TEST(Supports, AConvoyedArmyCutsOtherSupports) {
    World world(iberia_without_centres());
    // POR supports SPA to hold; the convoyed army cuts it, so WES's
    // supported attack dislodges SPA.
    EXPECT_EQ(spring(world, "0 A GAS; 0 F MAO; 1 F POR; 0 F WES; 0 F MAR; 1 F SPA/nc",
                     {{"GAS", "CONVOY_MOVE POR/f via MAO"}, {"MAO", "CONVOY A GAS -> POR/f"},
                      {"POR", "SUPPORT F SPA/nc"}, {"WES", "MOVE SPA/sc"}, {"MAR", "SUPPORT F WES -> SPA/sc"}}),
              "summer 1901: 0 A GAS; 0 F MAO; 1 F POR; 0 F SPA/sc; 0 F MAR; 1 F SPA/nc dislodged");
}

TEST(Supports, ASupporterOverpoweredByItsOwnPowerLosesItsSupportAndStays) {
    World world(grid());
    // D (power 0) attacks E (power 0) with a foreign support: E's support of
    // F into I is withdrawn, D bounces off its own unit, and F bounces off I.
    EXPECT_EQ(spring(world, "0 A E; 2 A F; 1 A I; 0 A D; 1 A H",
                     {{"E", "SUPPORT A F -> I"}, {"F", "MOVE I"}, {"D", "MOVE E"}, {"H", "SUPPORT A D -> E"}}),
              "fall 1901: 0 A E; 2 A F; 1 A I; 0 A D; 1 A H");
    // Without the attack the support carries F into I.
    EXPECT_EQ(spring(world, "0 A E; 2 A F; 1 A I; 0 A D; 1 A H", {{"E", "SUPPORT A F -> I"}, {"F", "MOVE I"}}),
              "summer 1901: 0 A E; 2 A I; 1 A I dislodged; 0 A D; 1 A H");
}

// ---------------------------------------------------------------------------
// Bounces, exchanges and cycles
// ---------------------------------------------------------------------------

TEST(Bounces, EqualMovesIntoAnEmptyProvinceBothBounce) {
    World world(grid());
    EXPECT_EQ(spring(world, "0 A D; 1 A F", {{"D", "MOVE E"}, {"F", "MOVE E"}}), "fall 1901: 0 A D; 1 A F");
    // The stronger of two moves goes in.
    EXPECT_EQ(spring(world, "0 A D; 0 A G; 1 A F", {{"D", "MOVE E"}, {"G", "SUPPORT A D -> E"}, {"F", "MOVE E"}}),
              "fall 1901: 0 A E; 0 A G; 1 A F");
}

TEST(Bounces, ABouncedMoveStillBlocksWeakerAndEqualMoves) {
    World world(grid());
    // D and B bounce each other with one support each; F, weaker, bounces too.
    EXPECT_EQ(spring(world, "0 A D; 0 A G; 1 A B; 1 A A; 2 A F",
                     {{"D", "MOVE E"}, {"G", "SUPPORT A D -> E"}, {"B", "MOVE E"}, {"A", "SUPPORT A B -> E"},
                      {"F", "MOVE E"}}),
              "fall 1901: 0 A D; 0 A G; 1 A B; 1 A A; 2 A F");
}

TEST(Bounces, ExchangesOfPlace) {
    World world(grid());
    EXPECT_EQ(spring(world, "0 A D; 1 A E", {{"D", "MOVE E"}, {"E", "MOVE D"}}), "fall 1901: 0 A D; 1 A E");
    EXPECT_EQ(spring(world, "0 A D; 0 A G; 1 A E", {{"D", "MOVE E"}, {"G", "SUPPORT A D -> E"}, {"E", "MOVE D"}}),
              "summer 1901: 0 A E; 0 A G; 1 A E dislodged");
    // One power's units never swap, supported or not.
    EXPECT_EQ(spring(world, "0 A D; 1 A G; 0 A E", {{"D", "MOVE E"}, {"G", "SUPPORT A D -> E"}, {"E", "MOVE D"}}),
              "fall 1901: 0 A D; 1 A G; 0 A E");
}

TEST(Bounces, UnitsMovingAlongAClosedCycleAllSucceed) {
    World world(grid());
    EXPECT_EQ(spring(world, "0 A A; 1 A B; 2 A E", {{"A", "MOVE B"}, {"B", "MOVE E"}, {"E", "MOVE A"}}),
              "fall 1901: 0 A B; 1 A E; 2 A A");
    EXPECT_EQ(spring(world, "0 A A; 1 A B; 2 A E; 2 A F; 1 A D",
                     {{"A", "MOVE B"}, {"B", "MOVE F"}, {"F", "MOVE E"}, {"E", "MOVE D"}, {"D", "MOVE A"}}),
              "fall 1901: 0 A B; 1 A F; 2 A D; 2 A E; 1 A A");
}

TEST(Bounces, AHolderIsDislodgedOnlyByMoreSupportFromOtherPowers) {
    World world(grid());
    const char *units = "0 A D; 0 A G; 0 A H; 1 A E; 1 A F";
    // One support against one support to hold: the attack bounces.
    EXPECT_EQ(spring(world, units, {{"D", "MOVE E"}, {"G", "SUPPORT A D -> E"}, {"F", "SUPPORT A E"}}),
              "fall 1901: 0 A D; 0 A G; 0 A H; 1 A E; 1 A F");
    // Two against one: dislodged.
    EXPECT_EQ(spring(world, units, {{"D", "MOVE E"}, {"G", "SUPPORT A D -> E"}, {"H", "SUPPORT A D -> E"},
                                    {"F", "SUPPORT A E"}}),
              "summer 1901: 0 A E; 0 A G; 0 A H; 1 A E dislodged; 1 A F");
    // A support given by the holder's own power does not count against it.
    EXPECT_EQ(spring(world, "0 A D; 1 A G; 1 A E", {{"D", "MOVE E"}, {"G", "SUPPORT A D -> E"}}),
              "fall 1901: 0 A D; 1 A G; 1 A E");
    // Never against a unit of one's own power, whatever the support.
    EXPECT_EQ(spring(world, "0 A D; 1 A G; 1 A H; 0 A E",
                     {{"D", "MOVE E"}, {"G", "SUPPORT A D -> E"}, {"H", "SUPPORT A D -> E"}}),
              "fall 1901: 0 A D; 1 A G; 1 A H; 0 A E");
}

TEST(Bounces, AMoveIntoAProvinceLeftEmptyIsJudgedAgainWhenTheLeaverFails) {
    World world(grid());
    Orders orders = {{"D", "MOVE E"}, {"E", "MOVE F"}};
    // D is judged before E bounces off F, then again in the next pass.
    EXPECT_EQ(spring(world, "0 A D; 1 A E; 2 A F", orders), "fall 1901: 0 A D; 1 A E; 2 A F");
    // With E first, D is judged after it in the same pass.
    EXPECT_EQ(spring(world, "1 A E; 0 A D; 2 A F", orders), "fall 1901: 1 A E; 0 A D; 2 A F");
    // One support is enough against a unit whose move failed.
    orders.push_back({"G", "SUPPORT A D -> E"});
    EXPECT_EQ(spring(world, "0 A D; 0 A G; 1 A E; 2 A F", orders),
              "summer 1901: 0 A E; 0 A G; 1 A E dislodged; 2 A F");
    // When the leaver succeeds, the province is simply taken.
    EXPECT_EQ(spring(world, "0 A D; 1 A E", {{"D", "MOVE E"}, {"E", "MOVE F"}}), "fall 1901: 0 A E; 1 A F");
}

// ---------------------------------------------------------------------------
// Convoys
// ---------------------------------------------------------------------------

TEST(ConvoyedMoves, AnArmyCrossesWhenEveryFleetOfItsRouteConvoysIt) {
    World world(iberia_without_centres());
    EXPECT_EQ(spring(world, "0 A GAS; 0 F MAO", {{"GAS", "CONVOY_MOVE POR/f via MAO"}, {"MAO", "CONVOY A GAS -> POR/f"}}),
              "fall 1901: 0 A POR; 0 F MAO");
}

TEST(ConvoyedMoves, AConvoyedArmyLandsOnItsArmyLocationAndMovesAsAnArmy) {
    World world(iberia_without_centres());
    Position *position = world.position(SEASON_SPRING, "0 A GAS; 0 F MAO");
    world.order(position, "GAS", "CONVOY_MOVE POR/f via MAO");
    world.order(position, "MAO", "CONVOY A GAS -> POR/f");
    Position *fall = world.next(position);
    Unit *army = world.unit(fall, "POR");
    ASSERT_NE(army, nullptr);
    EXPECT_EQ(army->location->coast, COAST_ARMY);
    // The landing was the fleet coast; the army now moves as an army (by
    // land or by convoy), never into the sea.
    EXPECT_EQ(world.candidates(army), (Texts{"CONVOY_MOVE SPA/nc via MAO", "CONVOY_MOVE GAS/f via MAO", "HOLD",
                                             "MOVE SPA", "SUPPORT F MAO -> SPA"}));
}

TEST(ConvoyedMoves, ABrokenRouteMovesNothingCutsNothingAndStays) {
    World world(iberia_without_centres());
    const char *units = "0 A GAS; 0 F MAO; 1 A SPA; 1 A MAR; 0 A POR";
    Orders attack = {{"GAS", "CONVOY_MOVE POR/f via MAO"}, {"SPA", "MOVE GAS"}};
    // The fleet does not convoy: the army stays, and the unsupported
    // attack on it bounces as on any unit whose move failed.
    EXPECT_EQ(spring(world, units, attack), "fall 1901: 0 A GAS; 0 F MAO; 1 A SPA; 1 A MAR; 0 A POR");
    // One support then takes GAS.
    attack.push_back({"MAR", "SUPPORT A SPA -> GAS"});
    EXPECT_EQ(spring(world, units, attack), "summer 1901: 0 A GAS dislodged; 0 F MAO; 1 A GAS; 1 A MAR; 0 A POR");
    // The fleet convoys to another landing: still broken.
    attack.push_back({"MAO", "CONVOY A GAS -> SPA/nc"});
    EXPECT_EQ(spring(world, units, attack), "summer 1901: 0 A GAS dislodged; 0 F MAO; 1 A GAS; 1 A MAR; 0 A POR");
}

TEST(ConvoyedMoves, ARouteThroughAnEmptySeaIsBroken) {
    World world(iberia_without_centres());
    Position *position = world.position(SEASON_SPRING, "0 A GAS; 0 F MAO; 1 A MAR");
    world.order(position, "GAS", "CONVOY_MOVE POR/f via MAO");
    world.order(position, "MAO", "CONVOY A GAS -> POR/f");
    world.order(position, "MAR", "SUPPORT A GAS");
    Position *moved = world.next(position);
    EXPECT_EQ(world.describe(moved), "fall 1901: 0 A POR; 0 F MAO; 1 A MAR");
    // The same order with the fleet gone from the route.
    Position *empty = world.position(SEASON_SPRING, "0 A GAS; 1 A MAR");
    Unit *army = world.unit(empty, "GAS");
    army->order = world.unit(position, "GAS")->order;  // same landing, route through MAO
    army->order.target = world.location(empty, "POR/f");
    army->order.route[0] = &empty->provinces[iberia_without_centres().index("MAO")];
    EXPECT_EQ(world.describe(world.next(empty)), "fall 1901: 0 A GAS; 1 A MAR");
}

// ---------------------------------------------------------------------------
// Orders the candidates would not give
// ---------------------------------------------------------------------------

TEST(StrayOrders, UnknownTokensAndMissingReferencesHold) {
    World world(grid());
    Position *position = world.position(SEASON_SPRING, "0 A D; 1 A E; 2 A F; 0 A G");
    world.unit(position, "D")->order.token = 0x7743;                       // unknown token: holds
    world.unit(position, "E")->order = Order{};                            // token 0
    world.unit(position, "E")->order.token = ORD_MOVE;                     // a move with no target
    world.unit(position, "F")->order.token = ORD_SUPPORT;                  // a support of nobody
    world.unit(position, "F")->order.other_unit = nullptr;
    world.unit(position, "F")->order.target = world.location(position, "E");
    world.unit(position, "G")->order.token = ORD_CONVOY_MOVE;              // no target either
    EXPECT_EQ(world.describe(world.next(position)), "fall 1901: 0 A D; 1 A E; 2 A F; 0 A G");
}

TEST(StrayOrders, ReferencesIntoAnotherPositionAreNotFollowed) {
    World world(grid());
    Position *other = world.position(SEASON_SPRING, "0 A D; 1 A E");
    Position *position = world.position(SEASON_SPRING, "0 A D; 1 A E; 1 A F");
    world.unit(position, "D")->order.token = ORD_MOVE;
    world.unit(position, "D")->order.target = world.location(other, "E");
    world.unit(position, "F")->order.token = ORD_SUPPORT;
    world.unit(position, "F")->order.other_unit = world.unit(other, "E");
    world.unit(position, "F")->order.target = nullptr;
    EXPECT_EQ(world.describe(world.next(position)), "fall 1901: 0 A D; 1 A E; 1 A F");
}

}  // namespace
