// The referee's rules, on boards written as text: where dislodged units
// may retreat, the position message bots receive, and how a bot's orders
// message is matched to the units and candidates of the referee's own
// Position (orders made by the library's own submission, then altered the
// way a faulty bot would).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "board.h"
#include "boards.h"
#include "common/bytes.h"
#include "common/record.h"
#include "doubles.h"
#include "orders/orders_message.h"
#include "orders/submit.h"
#include "game/phase_messages.h"
#include "game/retreat_options.h"
#include "game/take_orders.h"
#include "world.h"
#include "world/position.h"

namespace {

using board::Board;
using Bytes = std::vector<uint8_t>;
using Orders = std::vector<std::pair<const char *, const char *>>;

const Board &iberia() { return iberia_board(); }

// The retreat options of the unit dislodged in `province` after the moves,
// as location names.
Texts options_of(World &world, Position *before, Position *after, const std::string &province) {
    RetreatPlaces places[MAX_UNITS];
    retreat_options_find(before, after, places);
    Texts names;
    for (uint16_t u = 0; u < after->unit_count; u++) {
        if (!after->units[u]->dislodged || world.name(after->units[u]->location) != province) continue;
        for (uint16_t r = 0; r < places[u].count; r++) names.push_back(world.name(&after->locations[places[u].locations[r]]));
    }
    return names;
}

// The position message bots receive for `position`, from its type word.
std::vector<uint8_t> message_of(const Position *position, const RetreatPlaces *places) {
    auto placement = std::make_unique<Placement>();
    placement_of_position(position, placement.get());
    std::vector<uint8_t> message(PHASE_POSITION_CAPACITY);
    message.resize(phase_position_message(position->map, placement.get(), places, message.data()));
    return message;
}

Position *after_moves(World &world, Position *position, const Orders &orders) {
    return world.play(position, orders);
}

// ---------------------------------------------------------------------------
// Retreat options
// ---------------------------------------------------------------------------

TEST(RetreatOptions, EmptyNeighboursOnlyNotTheAttackersOriginNorAStandoff) {
    World world(grid_board(), "0: A B; 1: C; 2: G");
    Position *spring = world.position(SEASON_SPRING, "0 A A; 0 A B; 0 A D; 1 A E; 2 A G; 2 A I");
    Position *summer = after_moves(world, spring,
                                   {{"B", "MOVE E"}, {"D", "SUPPORT A B -> E"}, {"G", "MOVE H"}, {"I", "MOVE H"}});
    ASSERT_EQ(summer->season, SEASON_SUMMER);
    // A and D are occupied, B is where the attack came from, G and I bounced
    // out of H and stayed, H saw the standoff: F and C remain, in the order
    // of E's adjacency list.
    EXPECT_EQ(options_of(world, spring, summer, "E"), (Texts{"F", "C"}));
    // Only the dislodged unit gets options.
    RetreatPlaces places[MAX_UNITS];
    retreat_options_find(spring, summer, places);
    size_t listed = 0;
    for (uint16_t u = 0; u < summer->unit_count; u++) listed += places[u].count > 0;
    EXPECT_EQ(listed, 1u);
}

TEST(RetreatOptions, AFleetRetreatsToTheCoastsItsLocationTouches) {
    World world(iberia(), "");
    Position *spring = world.position(SEASON_SPRING, "1 F MAO; 0 F WES; 0 F POR");
    Position *summer = after_moves(world, spring, {{"WES", "MOVE MAO"}, {"POR", "SUPPORT F WES -> MAO"}});
    // From MAO: SPA's north coast and GAS's coast; not POR (occupied), not
    // WES (the attacker's origin).
    EXPECT_EQ(options_of(world, spring, summer, "MAO"), (Texts{"SPA/nc", "GAS/f"}));
}

TEST(RetreatOptions, AConvoyedMoveThatWasNotCarriedLeavesItsDestinationOpen) {
    World world(iberia(), "");
    Position *spring = world.position(SEASON_SPRING, "0 A MAR; 0 F WES; 1 A SPA; 1 A POR; 1 F MAO");
    Position *autumn = after_moves(world, spring,
                                   {{"MAR", "MOVE SPA"}, {"WES", "SUPPORT A MAR -> SPA/sc"},
                                    {"POR", "CONVOY_MOVE GAS/f via MAO"}});
    // The fleet held instead of convoying: the army never left POR, so GAS
    // saw no bounce and the dislodged army may go there (MAR was the
    // attacker's, POR is occupied).
    EXPECT_EQ(options_of(world, spring, autumn, "SPA"), (Texts{"GAS"}));
}

TEST(RetreatOptions, PositionsThatDoNotListTheSameUnitsGiveNoOptions) {
    World world(grid_board(), "0: A B; 1: C; 2: G");
    Position *spring = world.position(SEASON_SPRING, "0 A B; 0 A D; 1 A E");
    Position *summer = after_moves(world, spring, {{"B", "MOVE E"}, {"D", "SUPPORT A B -> E"}});
    Position *other = world.position(SEASON_SPRING, "0 A B; 1 A E");
    RetreatPlaces places[MAX_UNITS];
    for (RetreatPlaces &unit_places : places) unit_places.count = 7;
    retreat_options_find(other, summer, places);
    for (uint16_t u = 0; u < summer->unit_count; u++) EXPECT_EQ(places[u].count, 0);
}

// ---------------------------------------------------------------------------
// The position message the server sends
// ---------------------------------------------------------------------------

TEST(PositionMessage, DislodgedUnitsCarryTheirOptionsAndBotsReadThemAsRetreats) {
    World world(grid_board(), "0: A B; 1: C; 2: G");
    Position *spring = world.position(SEASON_SPRING, "0 A A; 0 A B; 0 A D; 1 A E; 2 A G; 2 A I");
    Position *summer = after_moves(world, spring,
                                   {{"B", "MOVE E"}, {"D", "SUPPORT A B -> E"}, {"G", "MOVE H"}, {"I", "MOVE H"}});
    RetreatPlaces places[MAX_UNITS];
    retreat_options_find(spring, summer, places);
    std::vector<uint8_t> message = message_of(summer, places);
    Position *sent = world.position(message);
    ASSERT_NE(sent, nullptr);
    EXPECT_EQ(world.describe(sent), world.describe(summer));
    const Unit *dislodged = sent->provinces[grid_board().index("E")].dislodged_unit;
    ASSERT_NE(dislodged, nullptr);
    EXPECT_EQ(world.candidates(dislodged), (Texts{"DISBAND", "RETREAT C", "RETREAT F"}));
}

TEST(PositionMessage, AUnitBuiltOnAFleetCoastIsAFleet) {
    static const Board coast(R"(
        powers 1
        coast BRE*0 PIC
        sea   MAO
        army  BRE-PIC
        fleet BRE-MAO PIC-MAO
    )");
    World world(coast, "0: BRE");
    Position *winter = world.position(SEASON_WINTER, "");
    ASSERT_EQ(winter->unit_count, 1);
    world.choose(winter->units[0], "BUILD BRE/f");
    // The adjudicator gives the new unit its build slot's type, an army.
    Position *spring = world.next(winter);
    ASSERT_EQ(spring->unit_count, 1);
    EXPECT_EQ(spring->units[0]->unit_type, UNIT_ARMY);
    std::vector<uint8_t> message = message_of(spring, nullptr);
    PositionUnitEntry entry;
    position_unit_read(position_message_unit(message.data(), 0), &entry);
    EXPECT_EQ(entry.unit_type, UNIT_FLEET);
    Position *sent = world.position(message);
    EXPECT_EQ(world.describe(sent), "spring 1902: 0 F BRE");
    EXPECT_EQ(world.candidates(sent->units[0]), (Texts{"HOLD", "MOVE MAO"}));
}

// ---------------------------------------------------------------------------
// Orders messages
// ---------------------------------------------------------------------------

// The orders message that the library sends for `power` (from its type
// word), the Units' orders chosen by name first.
Bytes submitted(World &world, Position *position, uint16_t power, const Orders &orders) {
    for (const auto &[province, order] : orders) world.order(position, province, order);
    Bytes message = fake_client::orders_message_sent(position, power);
    EXPECT_FALSE(message.empty()) << "no orders message was sent";
    return message;
}

uint8_t *entry_of(Bytes &message, uint16_t index) { return orders_message_entry(message.data(), index); }

// Changes entry `index` through the orders message's reader and writer.
template <typename Change>
void edit_entry(Bytes &message, uint16_t index, Change change) {
    OrderEntry entry = order_entry_read(entry_of(message, index));
    change(entry);
    order_entry_write(entry_of(message, index), entry);
}

// Appends a copy of entry `index` and fixes count and length.
void repeat_entry(Bytes &message, uint16_t index) {
    Bytes entry(entry_of(message, index), entry_of(message, index) + ORDER_ENTRY_SIZE);
    message.insert(message.end(), entry.begin(), entry.end());
    put_u16(message.data(), ORDERS_COUNT_AT, static_cast<uint16_t>(orders_message_count(message.data()) + 1));
    msg_set_length(message.data(), static_cast<uint16_t>(message.size()));
}

// A power's orders for one phase, taken from messages.
struct Taken {
    Taken() : orders(new PhaseOrders{}) {}
    ~Taken() { phase_orders_release(orders.get()); }
    std::unique_ptr<PhaseOrders> orders;
    // Decodes the message when it can be read, as the referee does.
    bool take(Position *position, uint16_t power, const Bytes &message, size_t length = 0) {
        if (!orders_message_readable(message.data(), length ? length : message.size())) return false;
        take_orders_message(position, power, message.data(), orders.get());
        return true;
    }
    const PowerTally &of(uint16_t power) const { return orders->powers[power]; }
};

// The chosen orders as "unit: order" texts, in unit order.
Texts chosen_texts(World &world, const Position *position, const Taken &taken) {
    Texts texts;
    for (uint16_t u = 0; u < position->unit_count; u++) {
        if (!taken.orders->from_bot[u]) continue;
        const Unit *unit = position->units[u];
        texts.push_back((unit->location ? world.name(unit) : "slot") + ": " + world.name(taken.orders->chosen[u]));
    }
    return texts;
}

std::vector<uint16_t> chosen_units(const Position *position, const Taken &taken) {
    std::vector<uint16_t> units;
    for (uint16_t u = 0; u < position->unit_count; u++)
        if (taken.orders->from_bot[u]) units.push_back(u);
    return units;
}

uint16_t token_of(const Board &board, const std::string &province) {
    return board.definition.provinces[board.index(province)].token;
}

TEST(OrdersDecode, TheLibrarysOwnOrdersAreTakenAsCandidatesOfTheServersUnits) {
    World world(iberia(), "");
    const char *units = "1 A POR; 1 F MAO; 1 F WES; 0 A MAR";
    Position *bot = world.position(SEASON_SPRING, units);
    Position *server = world.position(SEASON_SPRING, units);
    Bytes message = submitted(world, bot, 1,
                              {{"POR", "CONVOY_MOVE GAS/f via MAO"}, {"MAO", "CONVOY A POR -> GAS/f"},
                               {"WES", "SUPPORT A MAR -> SPA/sc"}});
    Taken taken;
    ASSERT_TRUE(taken.take(server, 1, message));
    EXPECT_TRUE(taken.of(1).received);
    EXPECT_EQ(taken.of(1).entries, 3);
    EXPECT_EQ(taken.of(1).refused, 0);
    EXPECT_EQ(chosen_texts(world, server, taken),
              (Texts{"A POR: CONVOY_MOVE GAS/f via MAO", "F MAO: CONVOY A POR -> GAS/f",
                     "F WES: SUPPORT A MAR -> SPA/sc"}));
    // The copies refer into the server's Position, not the bot's.
    EXPECT_EQ(taken.orders->chosen[chosen_units(server, taken)[1]].other_unit, world.unit(server, "POR"));
}

TEST(OrdersDecode, OrdersForOtherUnitsIllegalOrdersAndRepeatsAreRefused) {
    World world(grid_board(), "0: A B; 1: C; 2: G");
    const char *units = "0 A A; 0 A B; 1 A C";
    Position *bot = world.position(SEASON_SPRING, units);
    Position *server = world.position(SEASON_SPRING, units);
    Bytes message = submitted(world, bot, 0, {{"A", "MOVE D"}, {"B", "MOVE E"}});
    repeat_entry(message, 0);  // A ordered twice
    repeat_entry(message, 1);  // then B: move to I, which B does not touch
    edit_entry(message, 3, [](OrderEntry &e) { e.target_province = token_of(grid_board(), "I"); });
    repeat_entry(message, 0);  // then a unit of power 0 in H, where it has none
    edit_entry(message, 4, [](OrderEntry &e) { e.unit.province_token = token_of(grid_board(), "H"); });
    repeat_entry(message, 0);  // then power 1's unit, claimed by power 0
    edit_entry(message, 5, [](OrderEntry &e) {
        e.unit.power = 1;
        e.unit.province_token = token_of(grid_board(), "C");
    });

    Taken taken;
    ASSERT_TRUE(taken.take(server, 0, message));
    EXPECT_EQ(taken.of(0).entries, 6);
    EXPECT_EQ(taken.of(0).refused, 4);
    EXPECT_EQ(taken.of(0).kept, 4);
    std::vector<uint16_t> reasons;
    for (uint16_t r = 0; r < taken.of(0).kept; r++) reasons.push_back(phase_orders_refusal(taken.orders.get(), 0, r)->reason);
    // B's second entry is refused as a second order before its target is
    // looked at.
    EXPECT_EQ(reasons, (std::vector<uint16_t>{REFUSAL_SECOND_ORDER, REFUSAL_SECOND_ORDER, REFUSAL_NO_UNIT,
                                              REFUSAL_OTHER_POWER}));
    EXPECT_EQ(chosen_texts(world, server, taken), (Texts{"A A: MOVE D", "A B: MOVE E"}));
}

TEST(OrdersDecode, AMessageWhoseCountDoesNotFitItsLengthIsNotRead) {
    World world(grid_board(), "0: A B; 1: C; 2: G");
    Position *bot = world.position(SEASON_SPRING, "0 A A; 0 A B");
    Position *server = world.position(SEASON_SPRING, "0 A A; 0 A B");
    Bytes message = submitted(world, bot, 0, {{"A", "MOVE D"}});
    Taken taken;
    ASSERT_EQ(orders_message_count(message.data()), 2);  // A moves, B holds
    put_u16(message.data(), ORDERS_COUNT_AT, 3);  // one entry more than the length holds
    EXPECT_FALSE(taken.take(server, 0, message));
    EXPECT_FALSE(taken.of(0).received);
    put_u16(message.data(), ORDERS_COUNT_AT, 1);  // fewer
    EXPECT_FALSE(taken.take(server, 0, message));
    EXPECT_FALSE(taken.take(server, 0, message, 7));  // no count at all
    put_u16(message.data(), ORDERS_COUNT_AT, 2);
    EXPECT_TRUE(taken.take(server, 0, message));
    EXPECT_EQ(chosen_units(server, taken).size(), 2u);
}

TEST(OrdersDecode, RetreatSeasonsTakeOrdersForDislodgedUnitsOnly) {
    World world(grid_board(), "0: A B; 1: C; 2: G");
    const char *units = "1 A E dislodged -> C F; 1 A C; 0 A B";
    Position *bot = world.position(SEASON_SUMMER, units);
    Position *server = world.position(SEASON_SUMMER, units);
    Bytes message = submitted(world, bot, 1, {{"E", "RETREAT F"}});
    Taken taken;
    ASSERT_TRUE(taken.take(server, 1, message));
    EXPECT_EQ(chosen_texts(world, server, taken), (Texts{"A E: RETREAT F"}));

    // A dislodged unit left on hold (what the library sends when nothing was
    // chosen) is refused, so it disbands; a retreat to a place not offered
    // is refused too.
    Position *unchosen = world.position(SEASON_SUMMER, units);
    Bytes hold = submitted(world, unchosen, 1, {});
    ASSERT_TRUE(taken.take(server, 1, hold));
    EXPECT_EQ(taken.of(1).refused, 1);
    EXPECT_TRUE(chosen_units(server, taken).empty());
    edit_entry(message, 0, [](OrderEntry &e) { e.target_province = token_of(grid_board(), "D"); });
    ASSERT_TRUE(taken.take(server, 1, message));
    EXPECT_EQ(taken.of(1).refused, 1);

    // The standing army in C is not dislodged: an order for it is refused.
    edit_entry(message, 0, [](OrderEntry &e) {
        e.unit.province_token = token_of(grid_board(), "C");
        e.unit.dislodged = 0;
    });
    ASSERT_TRUE(taken.take(server, 1, message));
    EXPECT_EQ(taken.of(1).refused, 1);
}

TEST(OrdersDecode, BuildsUseTheSlotsOnceEachInDistinctHomeCentres) {
    // Power 0 owns A, B and E with one unit: two builds due, in A or B.
    World world(grid_board(), "0: A B E; 1: C; 2: G");
    const char *units = "0 A D; 1 A C; 2 A G";
    Position *bot = world.position(SEASON_WINTER, units);
    Position *server = world.position(SEASON_WINTER, units);
    ASSERT_EQ(server->adjustment[0], 2);
    std::vector<Unit *> slots;
    for (uint16_t u = 0; u < bot->unit_count; u++)
        if (bot->units[u]->power == 0 && !bot->units[u]->location) slots.push_back(bot->units[u]);
    ASSERT_EQ(slots.size(), 2u);
    slots[0]->order = *world.candidate(slots[0], "BUILD A");
    slots[1]->order = *world.candidate(slots[0], "BUILD A");  // the same province twice
    Bytes message = submitted(world, bot, 0, {});
    repeat_entry(message, 0);  // a build in E, a centre power 0 owns but not a home
    edit_entry(message, 2, [](OrderEntry &e) { e.unit.province_token = token_of(grid_board(), "E"); });
    repeat_entry(message, 0);  // a build in B: the second slot
    edit_entry(message, 3, [](OrderEntry &e) { e.unit.province_token = token_of(grid_board(), "B"); });
    repeat_entry(message, 0);  // and a waive: no slot left
    edit_entry(message, 4, [](OrderEntry &e) { e.token = ORD_WAIVE; });

    Taken taken;
    ASSERT_TRUE(taken.take(server, 0, message));
    EXPECT_EQ(chosen_texts(world, server, taken), (Texts{"slot: BUILD A", "slot: BUILD B"}));
    EXPECT_EQ(taken.of(0).refused, 3);
    std::vector<uint16_t> reasons;
    for (uint16_t r = 0; r < taken.of(0).kept; r++) reasons.push_back(phase_orders_refusal(taken.orders.get(), 0, r)->reason);
    EXPECT_EQ(reasons, (std::vector<uint16_t>{REFUSAL_SECOND_BUILD, REFUSAL_NOT_A_HOME, REFUSAL_NO_SLOT}));
    // Each build went to a slot of its own.
    EXPECT_EQ(chosen_units(server, taken).size(), 2u);
}

TEST(OrdersDecode, NoMoreRemovalsAreTakenThanAreDue) {
    // Power 1 owns C alone with three units: two removals due.
    World world(grid_board(), "0: A B; 1: C; 2: G");
    const char *units = "1 A C; 1 A F; 1 A H; 0 A A; 0 A B";
    Position *bot = world.position(SEASON_WINTER, units);
    Position *server = world.position(SEASON_WINTER, units);
    ASSERT_EQ(server->adjustment[1], -2);
    Bytes message = submitted(world, bot, 1, {{"C", "REMOVE"}, {"F", "REMOVE"}, {"H", "REMOVE"}});
    Taken taken;
    ASSERT_TRUE(taken.take(server, 1, message));
    EXPECT_EQ(chosen_texts(world, server, taken), (Texts{"A C: REMOVE", "A F: REMOVE"}));
    EXPECT_EQ(taken.of(1).refused, 1);
    // A power with nothing to remove has no removal taken.
    Bytes other = submitted(world, bot, 1, {});
    edit_entry(other, 0, [](OrderEntry &e) {
        e.unit.power = 0;
        e.unit.province_token = token_of(grid_board(), "A");
    });
    Taken none;
    ASSERT_TRUE(none.take(server, 0, other));
    EXPECT_TRUE(chosen_units(server, none).empty());
}

}  // namespace
