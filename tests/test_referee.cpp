// The referee through its exported calls, on boards written as text: a
// game opened from messages or a map folder (each message checked), orders
// taken by candidate or by message and refused with their reasons, orders
// for an earlier phase, the removals a power leaves out, the retreats
// offered, the end of a game and the messages bots receive.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "board.h"
#include "boards.h"
#include "brox.h"
#include "common/bytes.h"
#include "common/record.h"
#include "doubles.h"
#include "orders/orders_message.h"
#include "temp_dir.h"
#include "tools/mapgen/mapgen.h"
#include "world.h"
#include "world/centres_message.h"
#include "world/check.h"
#include "world/position.h"

namespace {

using board::Board;
using Bytes = std::vector<uint8_t>;

// A referee on a board, freed at the end.
struct Game {
    Game(const Board &board, const std::string &owners, uint16_t season, const std::string &units,
         uint16_t year = 1901) {
        Bytes map = board.map_message(), centres = board.centres(owners), position = board.position(season, year, units);
        referee = brox_referee_new(map.data(), map.size(), centres.data(), centres.size(), position.data(),
                                   position.size(), &error);
    }
    ~Game() { brox_referee_free(referee); }
    Game(const Game &) = delete;
    Game &operator=(const Game &) = delete;

    Position *position() const { return brox_referee_position(referee); }
    BroxReferee *referee = nullptr;
    const char *error = nullptr;
};

uint16_t index_of(const Position *position, const Unit *unit) {
    for (uint16_t u = 0; u < position->unit_count; u++)
        if (position->units[u] == unit) return u;
    return REFEREE_NO_UNIT;
}

// Gives the unit in `province` the candidate named `order`; the refusal.
uint16_t give(const World &world, Game &game, const std::string &province, const std::string &order) {
    Position *position = game.position();
    Unit *unit = world.unit(position, province);
    EXPECT_NE(unit, nullptr) << province;
    const Order *candidate = unit ? world.candidate(unit, order) : nullptr;
    EXPECT_NE(candidate, nullptr) << province << " " << order;
    uint16_t refusal = 0xFFFF;
    brox_referee_order(game.referee, index_of(position, unit), candidate, &refusal);
    return refusal;
}

// The build slots of a power in the referee's Position.
std::vector<uint16_t> slots_of(const Position *position, uint16_t power) {
    std::vector<uint16_t> slots;
    for (uint16_t u = 0; u < position->unit_count; u++)
        if (position->units[u]->power == power && !position->units[u]->location) slots.push_back(u);
    return slots;
}

BroxOrderResult result_of(const Game &game, uint16_t unit) {
    BroxOrderResult result{};
    EXPECT_TRUE(brox_referee_last_result(game.referee, unit, &result)) << unit;
    return result;
}

// "A: moved (bot)" per unit of the last Position, by the province it stood
// in ("slot" for a build slot).
Texts outcomes(const World &world, const Game &game) {
    Texts texts;
    const Position *last = brox_referee_last_position(game.referee);
    for (uint16_t u = 0; last && u < last->unit_count; u++) {
        const Unit *unit = last->units[u];
        BroxOrderResult result = result_of(game, u);
        texts.push_back((unit->location ? world.name(unit->location) : "slot") + ": " +
                        brox_outcome_text(result.outcome) + (result.from_bot ? " (bot)" : ""));
    }
    return texts;
}

std::vector<BroxRefusal> refusals_of(const Game &game, uint16_t power) {
    BroxPowerOrders orders{};
    EXPECT_TRUE(brox_referee_last_orders(game.referee, power, &orders));
    std::vector<BroxRefusal> refusals(orders.refusals);
    for (uint16_t r = 0; r < orders.refusals; r++)
        EXPECT_TRUE(brox_referee_last_refusal(game.referee, power, r, &refusals[r]));
    return refusals;
}

// The orders message the library sends for `power` from `position`, its
// Units' orders chosen by name first.
Bytes submitted(const World &world, Position *position, uint16_t power,
                const std::vector<std::pair<const char *, const char *>> &orders) {
    for (const auto &[province, order] : orders) world.choose(world.unit(position, province), order);
    Bytes message = fake_client::orders_message_sent(position, power);
    EXPECT_FALSE(message.empty()) << "no orders message was sent";
    return message;
}

// ---------------------------------------------------------------------------
// Opening a game
// ---------------------------------------------------------------------------

TEST(RefereeOpening, AGameOpensFromItsThreeMessagesEachCheckedFirst) {
    const Board &grid = grid_board();
    Game game(grid, "0: A B; 1: C; 2: G", SEASON_SPRING, "0 A A; 0 A B; 1 A C; 2 A G");
    ASSERT_NE(game.referee, nullptr) << game.error;
    ASSERT_NE(game.position(), nullptr);
    EXPECT_EQ(game.position()->unit_count, 4);
    EXPECT_EQ(position_check(game.position()), nullptr);
    EXPECT_EQ(brox_referee_centre_count(game.referee, 0), 2);
    EXPECT_EQ(brox_referee_centre_count(game.referee, 7), 0);  // no such power
    EXPECT_EQ(brox_referee_over(game.referee), END_NONE);
    EXPECT_EQ(brox_referee_last_position(game.referee), nullptr);

    struct Case {
        const char *owners, *units;
        uint16_t season;
        const char *expected;
    };
    const Case cases[] = {
        {"0: A; 0: D", "0 A A", SEASON_SPRING, "centre ownership: entry 2: province 3 is not a supply centre"},
        {"0: A; 5: B", "0 A A", SEASON_SPRING, "centre ownership: entry 2: power 5, but the map has 3 powers"},
        {"0: A", "0 A A; 1 A A", SEASON_SPRING, "position: unit 2: a second unit standing in province 0"},
        {"0: A", "3 A A", SEASON_SPRING, "position: unit 1: power 3 is not a power of the map"},
        {"0: A", "0 A A dislodged", SEASON_FALL, "position: unit 1: dislodged outside a retreat season"},
        {"0: A", "0 A A", 0x0258, "position: season 0x0258 is not one of the five seasons"},
    };
    for (const Case &c : cases) {
        Game refused(grid, c.owners, c.season, c.units);
        EXPECT_EQ(refused.referee, nullptr) << c.expected;
        ASSERT_NE(refused.error, nullptr);
        EXPECT_NE(std::string(refused.error).find(c.expected), std::string::npos) << refused.error;
    }

    // A message whose header does not fit what it is, or none at all.
    Bytes map = grid.map_message(), centres = grid.centres("0: A"), position = grid.position(SEASON_SPRING, 1901, "");
    const char *error = nullptr;
    EXPECT_EQ(brox_referee_new(map.data(), map.size() - 1, centres.data(), centres.size(), position.data(),
                               position.size(), &error),
              nullptr);
    EXPECT_NE(std::string(error).find("map definition: "), std::string::npos) << error;
    EXPECT_EQ(brox_referee_new(map.data(), map.size(), position.data(), position.size(), position.data(),
                               position.size(), &error),
              nullptr);
    EXPECT_NE(std::string(error).find("centre ownership: type 0x0E48"), std::string::npos) << error;
    EXPECT_EQ(brox_referee_new(map.data(), map.size(), centres.data(), centres.size(), nullptr, 0, nullptr), nullptr);
    // Every null argument of the other calls is refused.
    EXPECT_EQ(brox_referee_position(nullptr), nullptr);
    EXPECT_EQ(brox_referee_step(nullptr), 0);
    EXPECT_EQ(brox_referee_order(nullptr, 0, nullptr, nullptr), 0);
    EXPECT_EQ(brox_referee_orders_message(nullptr, 0, map.data(), map.size(), SEASON_SPRING, 1901), 0);
    EXPECT_EQ(brox_referee_set_years(nullptr, 1), 0);
    brox_referee_free(nullptr);
}

TEST(RefereeOpening, AGameOpensFromAMapFolderAsTheMapGeneratorWritesIt) {
    TempDir dir;
    GeneratedMap generated = mapgen_default();
    std::filesystem::create_directory("standard");
    auto write = [](const std::string &path, const Bytes &bytes) {
        std::ofstream file(path, std::ios::binary);
        file.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    };
    write("standard/map.bin", generated.map_message);
    write("standard/centres.bin", generated.centres_message);
    const char *error = nullptr;
    EXPECT_EQ(brox_referee_load("standard", &error), nullptr);
    EXPECT_STREQ(error, "position.bin: missing or unreadable");
    write("standard/position.bin", generated.centres_message);
    EXPECT_EQ(brox_referee_load("standard", &error), nullptr);
    EXPECT_NE(std::string(error).find("position.bin: type 0x1548, expected 0x0E48"), std::string::npos) << error;
    write("standard/position.bin", generated.position_message);
    BroxReferee *referee = brox_referee_load("standard", &error);
    ASSERT_NE(referee, nullptr) << error;
    Position *opening = brox_referee_position(referee);
    EXPECT_EQ(opening->unit_count, 22);
    EXPECT_EQ(opening->year, 1901);
    EXPECT_EQ(opening->map->centre_count, 34);
    // The messages bots are sent: the opening as given, and the ownership.
    size_t size = 0;
    const uint8_t *position = brox_referee_position_message(referee, &size);
    EXPECT_EQ(Bytes(position, position + size), generated.position_message);
    const uint8_t *centres = brox_referee_centres_message(referee, &size);
    EXPECT_EQ(Bytes(centres, centres + size).size(), centres_message_size(34));
    brox_referee_free(referee);
}

// ---------------------------------------------------------------------------
// Orders
// ---------------------------------------------------------------------------

TEST(RefereeOrders, AUnitsOwnCandidatesAreTakenAndNothingElse) {
    World world(grid_board(), "0: A B; 1: C; 2: G");
    Game game(grid_board(), "0: A B; 1: C; 2: G", SEASON_SPRING, "0 A A; 0 A B; 1 A C");
    ASSERT_NE(game.referee, nullptr) << game.error;
    Position *spring = game.position();
    EXPECT_EQ(brox_referee_orders_due(game.referee, 0), 1);
    EXPECT_EQ(brox_referee_orders_due(game.referee, 2), 0);  // no units
    EXPECT_EQ(brox_referee_orders_received(game.referee, 0), 0);
    EXPECT_EQ(give(world, game, "A", "MOVE E"), REFUSAL_NONE);
    EXPECT_EQ(give(world, game, "A", "MOVE D"), REFUSAL_NONE);  // replaces the first
    EXPECT_EQ(brox_referee_orders_received(game.referee, 0), 1);

    // A copy of a candidate, another unit's candidate, no unit, no order.
    Unit *b = world.unit(spring, "B");
    Order copy = *world.candidate(b, "MOVE E");
    uint16_t refusal = 0;
    EXPECT_EQ(brox_referee_order(game.referee, index_of(spring, b), &copy, &refusal), 0);
    EXPECT_EQ(refusal, REFUSAL_NOT_LEGAL);
    const Order *others = world.candidate(world.unit(spring, "C"), "HOLD");
    EXPECT_EQ(brox_referee_order(game.referee, index_of(spring, b), others, &refusal), 0);
    EXPECT_EQ(refusal, REFUSAL_NOT_LEGAL);
    EXPECT_EQ(brox_referee_order(game.referee, spring->unit_count, others, &refusal), 0);
    EXPECT_EQ(refusal, REFUSAL_NO_UNIT);
    EXPECT_EQ(brox_referee_order(game.referee, 0, nullptr, &refusal), 0);
    EXPECT_EQ(refusal, REFUSAL_NOT_LEGAL);

    ASSERT_EQ(brox_referee_step(game.referee), 1);
    EXPECT_EQ(game.position()->season, SEASON_FALL);
    EXPECT_EQ(outcomes(world, game), (Texts{"A: moved (bot)", "B: held", "C: held"}));
    // Such refusals leave no trace in the record.
    BroxPowerOrders orders{};
    ASSERT_TRUE(brox_referee_last_orders(game.referee, 0, &orders));
    EXPECT_EQ(orders.due, 1);
    EXPECT_EQ(orders.received, 1);
    EXPECT_EQ(orders.entries, 2);
    EXPECT_EQ(orders.refused, 0);
    EXPECT_EQ(world.describe(game.position()), "fall 1901: 0 A D; 0 A B; 1 A C");
    // The new phase starts with no orders.
    EXPECT_EQ(brox_referee_orders_received(game.referee, 0), 0);
}

TEST(RefereeOrders, WinterRulesRefuseExtraRemovalsAndASecondBuildInAProvince) {
    // Power 0 owns A, B and E with one unit: two builds, in A or B.  Power 1
    // owns C with three units: two removals.
    const char *owners = "0: A B E; 1: C; 2: G";
    World world(grid_board(), owners);
    Game game(grid_board(), owners, SEASON_WINTER, "0 A D; 1 A C; 1 A F; 1 A H; 2 A G");
    ASSERT_NE(game.referee, nullptr) << game.error;
    Position *winter = game.position();
    EXPECT_EQ(give(world, game, "C", "REMOVE"), REFUSAL_NONE);
    EXPECT_EQ(give(world, game, "C", "REMOVE"), REFUSAL_NONE);  // the same unit again
    EXPECT_EQ(give(world, game, "F", "REMOVE"), REFUSAL_NONE);
    EXPECT_EQ(give(world, game, "H", "REMOVE"), REFUSAL_TOO_MANY_REMOVALS);
    EXPECT_EQ(give(world, game, "F", "HOLD"), REFUSAL_NONE);    // keeps F after all
    EXPECT_EQ(give(world, game, "H", "REMOVE"), REFUSAL_NONE);

    std::vector<uint16_t> slots = slots_of(winter, 0);
    ASSERT_EQ(slots.size(), 2u);
    Unit *first = winter->units[slots[0]];
    uint16_t refusal = 0;
    EXPECT_EQ(brox_referee_order(game.referee, slots[0], world.candidate(first, "BUILD A"), &refusal), 1);
    EXPECT_EQ(brox_referee_order(game.referee, slots[1], world.candidate(first, "BUILD A"), &refusal), 0);
    EXPECT_EQ(refusal, REFUSAL_SECOND_BUILD);
    EXPECT_EQ(brox_referee_order(game.referee, slots[1], world.candidate(first, "BUILD B"), &refusal), 1);
    // A build slot takes only builds and waives of the first slot.
    EXPECT_EQ(brox_referee_order(game.referee, slots[1], world.candidate(world.unit(winter, "C"), "REMOVE"), &refusal), 0);
    EXPECT_EQ(refusal, REFUSAL_NOT_LEGAL);

    ASSERT_EQ(brox_referee_step(game.referee), 1);
    EXPECT_EQ(outcomes(world, game), (Texts{"D: held", "C: removed (bot)", "F: held (bot)", "H: removed (bot)",
                                            "G: held", "slot: built (bot)", "slot: built (bot)"}));
    EXPECT_EQ(world.describe(game.position()), "spring 1902: 0 A D; 1 A F; 2 A G; 0 A A; 0 A B");
    BroxPowerOrders removing{}, building{};
    ASSERT_TRUE(brox_referee_last_orders(game.referee, 1, &removing));
    ASSERT_TRUE(brox_referee_last_orders(game.referee, 0, &building));
    EXPECT_EQ(removing.removals, 2);
    EXPECT_EQ(removing.refused, 1);
    EXPECT_EQ(building.builds, 2);
    EXPECT_EQ(building.refused, 1);
    std::vector<BroxRefusal> refused = refusals_of(game, 1);
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].refusal, REFUSAL_TOO_MANY_REMOVALS);
    EXPECT_EQ(refused[0].entry, 4);  // the fourth order power 1 gave
    OrderEntry entry = order_entry_read(refused[0].bytes);
    EXPECT_EQ(entry.token, ORD_REMOVE);
    EXPECT_EQ(entry.unit.province_token, grid_board().definition.provinces[grid_board().index("H")].token);
    EXPECT_STREQ(brox_refusal_text(refused[0].refusal), "more removals than are due");
}

TEST(RefereeOrders, AMessageForTheCurrentPhaseIsDecodedAgainstTheReferee) {
    World world(grid_board(), "0: A B; 1: C; 2: G");
    const char *units = "0 A A; 0 A B; 1 A C";
    Game game(grid_board(), "0: A B; 1: C; 2: G", SEASON_SPRING, units);
    ASSERT_NE(game.referee, nullptr) << game.error;
    Position *bot = world.position(SEASON_SPRING, units);
    Bytes message = submitted(world, bot, 0, {{"A", "MOVE D"}, {"B", "MOVE E"}});
    // A message that cannot be read changes nothing.
    EXPECT_EQ(brox_referee_orders_message(game.referee, 0, message.data(), message.size() - 1, SEASON_SPRING, 1901), 0);
    EXPECT_EQ(brox_referee_orders_message(game.referee, 3, message.data(), message.size(), SEASON_SPRING, 1901), 0);
    EXPECT_EQ(brox_referee_orders_received(game.referee, 0), 0);
    // Power 1 claims power 0's message: every entry names another power's unit.
    ASSERT_EQ(brox_referee_orders_message(game.referee, 1, message.data(), message.size(), SEASON_SPRING, 1901), 1);
    ASSERT_EQ(brox_referee_orders_message(game.referee, 0, message.data(), message.size(), SEASON_SPRING, 1901), 1);
    EXPECT_EQ(brox_referee_orders_received(game.referee, 0), 1);
    ASSERT_EQ(brox_referee_step(game.referee), 1);
    EXPECT_EQ(outcomes(world, game), (Texts{"A: moved (bot)", "B: moved (bot)", "C: held"}));
    std::vector<BroxRefusal> refused = refusals_of(game, 1);
    ASSERT_EQ(refused.size(), 2u);
    EXPECT_EQ(refused[0].refusal, REFUSAL_OTHER_POWER);
    EXPECT_EQ(refused[1].entry, 2);
}

// Orders chosen for one phase are never applied to another: a bot too slow
// for its deadline sends its spring orders when the fall is being played.
TEST(RefereeOrders, OrdersChosenForAnEarlierPhaseAreRefusedAndNeverApplied) {
    World world(grid_board(), "0: A B; 1: C; 2: G");
    const char *units = "0 A A; 0 A B; 1 A C";
    Game game(grid_board(), "0: A B; 1: C; 2: G", SEASON_SPRING, units);
    ASSERT_NE(game.referee, nullptr) << game.error;
    Position *spring = world.position(SEASON_SPRING, units);
    Bytes late = submitted(world, spring, 0, {{"A", "MOVE D"}, {"B", "MOVE E"}});
    ASSERT_EQ(brox_referee_step(game.referee), 1);  // the spring's deadline: everyone holds
    ASSERT_EQ(game.position()->season, SEASON_FALL);

    ASSERT_EQ(brox_referee_orders_message(game.referee, 0, late.data(), late.size(), SEASON_SPRING, 1901), 1);
    EXPECT_EQ(brox_referee_orders_received(game.referee, 0), 0);  // still awaited for the fall
    // Then the bot's fall orders, chosen on the fall position.
    Position *fall = world.position(SEASON_FALL, units);
    Bytes current = submitted(world, fall, 0, {{"B", "MOVE F"}});
    ASSERT_EQ(brox_referee_orders_message(game.referee, 0, current.data(), current.size(), SEASON_FALL, 1901), 1);
    EXPECT_EQ(brox_referee_orders_received(game.referee, 0), 1);
    ASSERT_EQ(brox_referee_step(game.referee), 1);
    EXPECT_EQ(outcomes(world, game), (Texts{"A: held (bot)", "B: moved (bot)", "C: held"}));
    BroxPowerOrders orders{};
    ASSERT_TRUE(brox_referee_last_orders(game.referee, 0, &orders));
    EXPECT_EQ(orders.entries, 2);
    EXPECT_EQ(orders.refused, 2);
    std::vector<BroxRefusal> refused = refusals_of(game, 0);
    ASSERT_EQ(refused.size(), 2u);
    for (const BroxRefusal &refusal : refused) EXPECT_EQ(refusal.refusal, REFUSAL_EARLIER_PHASE);
    EXPECT_EQ(refused[1].entry, 2);
    EXPECT_STREQ(brox_refusal_text(REFUSAL_EARLIER_PHASE), "orders for an earlier phase");
}

// ---------------------------------------------------------------------------
// Defaults
// ---------------------------------------------------------------------------

// HOM is power 0's home; L1, L3 and CST one move away, L2 two, ISL out of
// reach.  L1 is a neutral centre.
const Board &removal_board() {
    static const Board board(R"(
        powers 1
        land  HOM*0 L1* L2 ISL L3
        coast CST
        sea   SEA
        army  HOM-L1 L1-L2 HOM-CST HOM-L3
        fleet CST-SEA
    )");
    return board;
}

TEST(RefereeDefaults, RemovalsAPowerLeavesOutGoFarthestFromHomeThenFleetsThenLowerProvinces) {
    World world(removal_board(), "0: HOM L1");
    const char *units = "0 A HOM; 0 A L1; 0 A L2; 0 A ISL; 0 A L3; 0 F CST";
    {
        Game game(removal_board(), "0: HOM L1", SEASON_WINTER, units);
        ASSERT_NE(game.referee, nullptr) << game.error;
        EXPECT_EQ(game.position()->adjustment[0], -4);
        ASSERT_EQ(brox_referee_step(game.referee), 1);
        // Out of reach first, then two moves away; of the three at one move,
        // the fleet, then the army in the lower province.
        EXPECT_EQ(outcomes(world, game), (Texts{"HOM: held", "L1: removed", "L2: removed", "ISL: removed",
                                                "L3: held", "CST/f: removed"}));
        BroxPowerOrders orders{};
        ASSERT_TRUE(brox_referee_last_orders(game.referee, 0, &orders));
        EXPECT_EQ(orders.removals, 0);  // none of them the power's own
        EXPECT_EQ(world.describe(game.position()), "spring 1902: 0 A HOM; 0 A L3");
    }
    {
        // One removal ordered: the referee adds the rest; keeping a unit
        // does not protect it.
        Game game(removal_board(), "0: HOM L1", SEASON_WINTER, units);
        ASSERT_NE(game.referee, nullptr) << game.error;
        EXPECT_EQ(give(world, game, "HOM", "REMOVE"), REFUSAL_NONE);
        EXPECT_EQ(give(world, game, "ISL", "HOLD"), REFUSAL_NONE);
        ASSERT_EQ(brox_referee_step(game.referee), 1);
        EXPECT_EQ(outcomes(world, game), (Texts{"HOM: removed (bot)", "L1: held", "L2: removed", "ISL: removed",
                                                "L3: held", "CST/f: removed"}));
        BroxPowerOrders orders{};
        ASSERT_TRUE(brox_referee_last_orders(game.referee, 0, &orders));
        EXPECT_EQ(orders.removals, 1);
    }
}

TEST(RefereeDefaults, SilentPowersHoldDisbandAndWaive) {
    const char *owners = "0: A B E; 1: C; 2: G";
    World world(grid_board(), owners);
    Game summer(grid_board(), owners, SEASON_SUMMER, "0 A A; 1 A E dislodged -> F; 2 A G");
    ASSERT_NE(summer.referee, nullptr) << summer.error;
    EXPECT_EQ(brox_referee_orders_due(summer.referee, 0), 0);
    EXPECT_EQ(brox_referee_orders_due(summer.referee, 1), 1);
    ASSERT_EQ(brox_referee_step(summer.referee), 1);
    EXPECT_EQ(outcomes(world, summer), (Texts{"A: held", "E: disbanded", "G: held"}));

    Game winter(grid_board(), owners, SEASON_WINTER, "0 A D; 1 A C; 2 A G");
    ASSERT_NE(winter.referee, nullptr) << winter.error;
    ASSERT_EQ(brox_referee_step(winter.referee), 1);
    EXPECT_EQ(outcomes(world, winter), (Texts{"D: held", "C: held", "G: held", "slot: waived", "slot: waived"}));
}

// ---------------------------------------------------------------------------
// Retreats, the end, and the messages
// ---------------------------------------------------------------------------

TEST(RefereeRetreats, ADislodgedUnitIsOfferedItsRetreatsAndTheRecordSaysByWhom) {
    const char *owners = "0: A B; 1: C; 2: G";
    World world(grid_board(), owners);
    Game game(grid_board(), owners, SEASON_SPRING, "0 A A; 0 A B; 0 A D; 1 A E; 2 A G; 2 A I");
    ASSERT_NE(game.referee, nullptr) << game.error;
    EXPECT_EQ(give(world, game, "B", "MOVE E"), REFUSAL_NONE);
    EXPECT_EQ(give(world, game, "D", "SUPPORT A B -> E"), REFUSAL_NONE);
    EXPECT_EQ(give(world, game, "G", "MOVE H"), REFUSAL_NONE);
    EXPECT_EQ(give(world, game, "I", "MOVE H"), REFUSAL_NONE);
    ASSERT_EQ(brox_referee_step(game.referee), 1);
    Position *summer = game.position();
    ASSERT_EQ(summer->season, SEASON_SUMMER);
    EXPECT_EQ(position_check(summer), nullptr);
    // A and D are occupied, B is where the attack came from, H saw the
    // standoff: F and C remain, offered as candidates.
    Unit *dislodged = summer->provinces[grid_board().index("E")].dislodged_unit;
    ASSERT_TRUE(dislodged && dislodged->dislodged);
    EXPECT_EQ(world.candidates(dislodged), (Texts{"DISBAND", "RETREAT C", "RETREAT F"}));
    BroxOrderResult result = result_of(game, 3);
    EXPECT_EQ(result.outcome, OUTCOME_DISLODGED);
    EXPECT_EQ(result.dislodged, 1);
    EXPECT_EQ(result.dislodged_by, 1);  // the army from B
    ASSERT_EQ(result.retreat_count, 2);
    EXPECT_EQ(world.name(&summer->locations[result.retreats[0]]), "F");
    EXPECT_EQ(world.name(&summer->locations[result.retreats[1]]), "C");
    EXPECT_EQ(result_of(game, 0).dislodged_by, REFEREE_NO_UNIT);
    // The message bots get lists the options.
    size_t size = 0;
    const uint8_t *message = brox_referee_position_message(game.referee, &size);
    Bytes sent(message, message + size);
    Position *received = world.position(sent);
    EXPECT_EQ(world.candidates(received->provinces[grid_board().index("E")].dislodged_unit),
              (Texts{"DISBAND", "RETREAT C", "RETREAT F"}));

    uint16_t refusal = 0;
    EXPECT_EQ(brox_referee_order(game.referee, index_of(summer, dislodged), world.candidate(dislodged, "RETREAT C"),
                                 &refusal),
              1);
    ASSERT_EQ(brox_referee_step(game.referee), 1);
    EXPECT_EQ(world.describe(game.position()), "fall 1901: 0 A A; 0 A E; 0 A D; 1 A C; 2 A G; 2 A I");
}

TEST(RefereeEnd, AGameEndsWithAMajorityOfCentresOrAfterItsLastYear) {
    // Six centres: A B C E G I.  Power 0 owns three, half: the game goes on.
    const char *owners = "0: A B E; 1: C; 2: G";
    World world(grid_board(), owners);
    {
        Game game(grid_board(), owners, SEASON_FALL, "0 A A; 0 A B; 0 A F; 1 A C; 2 A G");
        ASSERT_NE(game.referee, nullptr) << game.error;
        ASSERT_EQ(brox_referee_step(game.referee), 1);
        EXPECT_EQ(brox_referee_over(game.referee), END_NONE);
    }
    {
        // Standing in I through the fall makes four of six: over at the
        // winter (skipped, as nobody has anything to adjust).
        Game game(grid_board(), owners, SEASON_FALL, "0 A A; 0 A B; 0 A I; 1 A C; 2 A G");
        ASSERT_NE(game.referee, nullptr) << game.error;
        ASSERT_EQ(brox_referee_step(game.referee), 1);
        EXPECT_EQ(brox_referee_over(game.referee), END_MAJORITY);
        EXPECT_EQ(brox_referee_centre_count(game.referee, 0), 4);
        EXPECT_STREQ(brox_end_text(END_MAJORITY), "one power owns more than half the supply centres");
        uint16_t refusal = 0;
        EXPECT_EQ(brox_referee_order(game.referee, 0, brox_candidate_first(game.position()->units[0]), &refusal), 0);
        EXPECT_EQ(refusal, REFUSAL_GAME_OVER);
        EXPECT_EQ(brox_referee_step(game.referee), 0);
        EXPECT_STREQ(brox_referee_failure(game.referee), "the game is over");
    }
    {
        Game game(grid_board(), owners, SEASON_SPRING, "0 A A; 0 A B; 0 A E; 1 A C; 2 A G");
        ASSERT_NE(game.referee, nullptr) << game.error;
        EXPECT_EQ(brox_referee_set_years(game.referee, 65535 - 1900), 0);  // past year 65535
        ASSERT_EQ(brox_referee_set_years(game.referee, 1), 1);
        ASSERT_EQ(brox_referee_step(game.referee), 1);  // spring
        EXPECT_EQ(brox_referee_over(game.referee), END_NONE);
        ASSERT_EQ(brox_referee_step(game.referee), 1);  // fall; nothing to adjust
        EXPECT_EQ(game.position()->season, SEASON_SPRING);
        EXPECT_EQ(game.position()->year, 1902);
        EXPECT_EQ(brox_referee_over(game.referee), END_LAST_YEAR);
        EXPECT_EQ(brox_referee_orders_due(game.referee, 0), 0);
    }
}

TEST(RefereeRestart, AGameStartsAgainFromItsOpeningWithItsYearsSet) {
    const char *owners = "0: A B; 1: C; 2: G";
    World world(grid_board(), owners);
    Game game(grid_board(), owners, SEASON_SPRING, "0 A A; 0 A B/?; 1 A C; 2 A G");
    ASSERT_NE(game.referee, nullptr) << game.error;
    std::string opening = world.describe(game.position());
    size_t size = 0;
    const uint8_t *sent = brox_referee_position_message(game.referee, &size);
    Bytes opening_message(sent, sent + size);
    ASSERT_EQ(brox_referee_set_years(game.referee, 1), 1);
    EXPECT_EQ(give(world, game, "A", "MOVE D"), REFUSAL_NONE);
    ASSERT_EQ(brox_referee_step(game.referee), 1);
    ASSERT_EQ(brox_referee_step(game.referee), 1);
    ASSERT_EQ(brox_referee_over(game.referee), END_LAST_YEAR);

    // Lack of memory leaves the game over, as it was.
    test_memory::fail_at(1);
    EXPECT_EQ(brox_referee_restart(game.referee), 0);
    test_memory::fail_at(0);
    EXPECT_EQ(brox_referee_over(game.referee), END_LAST_YEAR);
    EXPECT_EQ(game.position()->year, 1902);

    long live = test_memory::live_blocks();
    ASSERT_EQ(brox_referee_restart(game.referee), 1);
    EXPECT_EQ(brox_referee_over(game.referee), END_NONE);
    EXPECT_EQ(brox_referee_last_position(game.referee), nullptr);
    EXPECT_EQ(world.describe(game.position()), opening);
    sent = brox_referee_position_message(game.referee, &size);
    EXPECT_EQ(Bytes(sent, sent + size), opening_message);  // the coast chosen for B written in
    EXPECT_EQ(brox_referee_orders_received(game.referee, 0), 0);
    EXPECT_LE(test_memory::live_blocks(), live);  // the last Position went
    // The year limit still holds: a year, then over again.
    ASSERT_EQ(brox_referee_step(game.referee), 1);
    ASSERT_EQ(brox_referee_step(game.referee), 1);
    EXPECT_EQ(brox_referee_over(game.referee), END_LAST_YEAR);
    EXPECT_EQ(brox_referee_restart(nullptr), 0);
}

// In a game of twelve or more powers 11 is a power: its centres are listed
// under 11 and unowned centres are left out of the ownership message.
TEST(RefereeMessages, TheOwnershipMessageListsUnownedCentresOnlyWhere11IsNoPower) {
    std::string twelve = "powers 12\nland";
    for (int p = 0; p < 12; p++) twelve += " H" + std::to_string(p) + "*" + std::to_string(p);
    twelve += " N*\n";
    Board big(twelve);
    Game game(big, "11: H11", SEASON_SPRING, "11 A H11");
    ASSERT_NE(game.referee, nullptr) << game.error;
    size_t size = 0;
    const uint8_t *message = brox_referee_centres_message(game.referee, &size);
    ASSERT_EQ(size, centres_message_size(1));
    EXPECT_EQ(centres_message_entry(message, 0).power, 11);
    EXPECT_EQ(centres_message_entry(message, 0).province, big.index("H11"));

    Game small(grid_board(), "0: A", SEASON_SPRING, "0 A A");
    ASSERT_NE(small.referee, nullptr) << small.error;
    message = brox_referee_centres_message(small.referee, &size);
    ASSERT_EQ(size, centres_message_size(6));  // A, then five unowned
    EXPECT_EQ(centres_message_entry(message, 1).power, POWER_UNOWNED);
}

// ---------------------------------------------------------------------------
// Memory
// ---------------------------------------------------------------------------

// Every allocation of creating a game and of each kind of step may fail: a
// failed creation leaves nothing behind, a failed step leaves the game as
// it was (the same phase, the orders given kept), and the step done again
// goes through.
TEST(RefereeMemory, EveryFailedAllocationLeavesTheGameAsItWasAndLeaksNothing) {
    const char *owners = "0: A B E; 1: C; 2: G";
    World world(grid_board(), owners);
    long before = test_memory::live_blocks();
    for (long n = 1;; n++) {
        test_memory::fail_at(n);
        Game game(grid_board(), owners, SEASON_SPRING, "0 A A; 0 A B; 0 A D; 1 A E; 2 A G; 2 A I");
        bool failed = test_memory::failed();
        test_memory::fail_at(0);
        if (!failed) {
            ASSERT_NE(game.referee, nullptr);
            EXPECT_GT(n, 3);  // the Map, the table, the referee, the Position at least
            break;
        }
        EXPECT_EQ(game.referee, nullptr) << "allocation " << n;
        ASSERT_NE(game.error, nullptr);
        EXPECT_NE(std::string(game.error).find("out of memory"), std::string::npos) << game.error;
    }
    EXPECT_EQ(test_memory::live_blocks(), before);

    Game game(grid_board(), owners, SEASON_SPRING, "0 A A; 0 A B; 0 A D; 1 A E; 2 A G; 2 A I");
    ASSERT_NE(game.referee, nullptr) << game.error;
    // A spring with a dislodgement, its summer, a fall and a winter with a
    // build: each step is made to fail at every allocation first.
    std::vector<std::vector<std::pair<const char *, const char *>>> phases = {
        {{"B", "MOVE E"}, {"D", "SUPPORT A B -> E"}}, {}, {}, {}};
    for (const auto &orders : phases) {
        for (const auto &[province, order] : orders) EXPECT_EQ(give(world, game, province, order), REFUSAL_NONE);
        std::string phase = world.describe(game.position());
        for (long n = 1;; n++) {
            long live = test_memory::live_blocks();
            test_memory::fail_at(n);
            int stepped = brox_referee_step(game.referee);
            bool failed = test_memory::failed();
            test_memory::fail_at(0);
            if (!failed) {
                EXPECT_EQ(stepped, 1);
                EXPECT_EQ(brox_referee_failure(game.referee), nullptr);
                break;
            }
            EXPECT_EQ(stepped, 0) << phase << ", allocation " << n;
            ASSERT_NE(brox_referee_failure(game.referee), nullptr);
            EXPECT_STREQ(brox_referee_failure(game.referee), "out of memory");
            EXPECT_EQ(world.describe(game.position()), phase) << "allocation " << n;
            EXPECT_EQ(test_memory::live_blocks(), live) << phase << ", allocation " << n;
            EXPECT_EQ(brox_referee_orders_received(game.referee, 0), orders.empty() ? 0 : 1);
        }
    }
    EXPECT_EQ(world.describe(game.position()), "spring 1902: 0 A A; 0 A E; 0 A D; 2 A G; 2 A I");
}

}  // namespace
