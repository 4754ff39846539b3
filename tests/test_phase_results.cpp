// What became of each order, in the words of the game record, worked out
// by the referee from the adjudicator's outcomes: moves, supports and holds
// with a dislodgement and the retreats it is offered, convoys that carried
// their army or not, retreats that collide, and winter adjustments.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "boards.h"
#include "doubles.h"
#include "game/phase_results.h"
#include "game/retreat_options.h"
#include "world.h"
#include "world/position.h"

namespace {

// "A: no-such-order" per unit, by the province it stands in ("slot" for
// a build slot), in unit order.
struct PhaseResults {
    uint16_t count = 0;
    BroxOrderResult units[MAX_UNITS];
};

PhaseResults results_of(const Position *position) {
    PhaseResults results;
    results.count = phase_results_find(position, results.units);
    return results;
}

Texts words(const World &world, const Position *position, const PhaseResults &results) {
    Texts texts;
    for (uint16_t u = 0; u < position->unit_count; u++) {
        const Unit *unit = position->units[u];
        std::string where = unit->location ? world.name(unit->location) : "slot";
        texts.push_back(where + ": " + (u < results.count ? brox_outcome_text(results.units[u].outcome) : "?"));
    }
    return texts;
}

TEST(PhaseResults, MovesSupportsAndHoldsWithADislodgementAndItsRetreats) {
    World world(grid_board(), "0: A B; 1: C; 2: G");
    Position *spring = world.position(SEASON_SPRING, "0 A A; 0 A B; 0 A D; 1 A E; 1 A F; 2 A G; 2 A H; 2 A I");
    world.order(spring, "A", "SUPPORT A B -> D");   // B goes to E instead
    world.order(spring, "B", "MOVE E");
    world.order(spring, "D", "SUPPORT A B -> E");
    world.order(spring, "F", "SUPPORT A E");        // cut by I
    world.order(spring, "G", "MOVE H");             // into its own power's unit
    world.order(spring, "I", "MOVE F");
    PhaseResults results = results_of(spring);
    EXPECT_EQ(words(world, spring, results),
              (Texts{"A: no-such-order", "B: moved", "D: supported", "E: dislodged", "F: cut", "G: bounced",
                     "H: held", "I: bounced"}));

    Position *summer = world.next(spring);
    ASSERT_EQ(summer->season, SEASON_SUMMER);
    RetreatPlaces places[MAX_UNITS];
    retreat_options_find(spring, summer, places);
    phase_results_add_next(results.units, spring, summer, places);
    for (uint16_t u = 0; u < spring->unit_count; u++) {
        const BroxOrderResult &result = results.units[u];
        bool e = world.name(spring->units[u]->location) == "E";
        EXPECT_EQ(result.dislodged != 0, e) << u;
        if (!e) continue;
        // By the army from B; it may go to C only: B was the attacker's,
        // every other neighbour is occupied.
        EXPECT_EQ(world.name(spring->units[result.dislodged_by]->location), "B");
        ASSERT_EQ(result.retreat_count, 1);
        EXPECT_EQ(world.name(&summer->locations[result.retreats[0]]), "C");
    }
}

TEST(PhaseResults, AConvoyCarriesItsArmyOnlyWhenTheArmyGoesByItsRoute) {
    World world(iberia_board(), "");
    Position *carried = world.position(SEASON_SPRING, "0 A POR; 0 F MAO; 1 A MAR");
    world.order(carried, "POR", "CONVOY_MOVE GAS/f via MAO");
    world.order(carried, "MAO", "CONVOY A POR -> GAS/f");
    EXPECT_EQ(words(world, carried, results_of(carried)), (Texts{"POR: moved", "MAO: carried", "MAR: held"}));

    // The army walks instead: the fleet carried nothing.
    Position *walked = world.position(SEASON_SPRING, "0 A POR; 0 F MAO; 1 A MAR");
    world.order(walked, "POR", "MOVE SPA");
    world.order(walked, "MAO", "CONVOY A POR -> GAS/f");
    EXPECT_EQ(words(world, walked, results_of(walked)),
              (Texts{"POR: moved", "MAO: not-carried", "MAR: held"}));

    // The fleet holds: the army's route does not carry it and it never leaves.
    Position *stranded = world.position(SEASON_FALL, "0 A POR; 0 F MAO; 1 A MAR");
    world.order(stranded, "POR", "CONVOY_MOVE GAS/f via MAO");
    EXPECT_EQ(words(world, stranded, results_of(stranded)),
              (Texts{"POR: no-such-order", "MAO: held", "MAR: held"}));
}

TEST(PhaseResults, RetreatsIntoOneProvinceAllFailAndTheOthersGoTheirWay) {
    World world(grid_board(), "0: A B; 1: C; 2: G");
    Position *summer = world.position(
        SEASON_SUMMER, "0 A A; 1 A E dislodged -> F C; 2 A I dislodged -> F H; 2 A G dislodged -> H D; 1 A B dislodged -> C");
    world.order(summer, "E", "RETREAT F");
    world.order(summer, "I", "RETREAT F");
    world.order(summer, "G", "RETREAT D");
    world.order(summer, "B", "DISBAND");
    EXPECT_EQ(words(world, summer, results_of(summer)),
              (Texts{"A: held", "E: bounced", "I: bounced", "G: retreated", "B: disbanded"}));
}

TEST(PhaseResults, WinterBuildsRemovalsWaivesAndHolds) {
    // Power 0 owns two centres with one unit, power 1 one with three, power 2
    // one with none.
    World world(grid_board(), "0: A B; 1: C; 2: G");
    Position *winter = world.position(SEASON_WINTER, "1 A C; 1 A F; 1 A H; 0 A A");
    world.order(winter, "C", "REMOVE");
    for (uint16_t u = 0; u < winter->unit_count; u++) {
        Unit *slot = winter->units[u];
        if (!slot->location) world.choose(slot, slot->power == 0 ? "BUILD B" : "WAIVE");
    }
    EXPECT_EQ(words(world, winter, results_of(winter)),
              (Texts{"C: removed", "F: held", "H: held", "A: held", "slot: built", "slot: waived"}));
}

}  // namespace
