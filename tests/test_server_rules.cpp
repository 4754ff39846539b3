// The local game server's rules, on boards written as text: where
// dislodged units may retreat, and how a bot's orders message is matched
// to the units and candidates of the server's own Position (orders made by
// the library's own submission, then altered the way a faulty bot would).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "board.h"
#include "boards.h"
#include "common/bytes.h"
#include "common/record.h"
#include "doubles.h"
#include "orders/orders_message.h"
#include "orders/submit.h"
#include "tools/server/messages.h"
#include "tools/server/orders_decode.h"
#include "tools/server/retreat_options.h"
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
    RetreatOptions options = retreat_options_find(before, after);
    Texts names;
    for (uint16_t u = 0; u < after->unit_count; u++) {
        if (!after->units[u]->dislodged || world.name(after->units[u]->location) != province) continue;
        for (const RetreatOption &option : options[u])
            names.push_back(world.name(position_find_location(after, option.province, option.coast)));
    }
    return names;
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
    RetreatOptions options = retreat_options_find(spring, summer);
    size_t listed = 0;
    for (const auto &unit_options : options) listed += !unit_options.empty();
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
    RetreatOptions options = retreat_options_find(other, summer);
    ASSERT_EQ(options.size(), summer->unit_count);
    for (const auto &unit_options : options) EXPECT_TRUE(unit_options.empty());
}

// ---------------------------------------------------------------------------
// The position message the server sends
// ---------------------------------------------------------------------------

TEST(PositionMessage, DislodgedUnitsCarryTheirOptionsAndBotsReadThemAsRetreats) {
    World world(grid_board(), "0: A B; 1: C; 2: G");
    Position *spring = world.position(SEASON_SPRING, "0 A A; 0 A B; 0 A D; 1 A E; 2 A G; 2 A I");
    Position *summer = after_moves(world, spring,
                                   {{"B", "MOVE E"}, {"D", "SUPPORT A B -> E"}, {"G", "MOVE H"}, {"I", "MOVE H"}});
    std::vector<uint8_t> message = position_message_compose(summer, retreat_options_find(spring, summer));
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
    std::vector<uint8_t> message = position_message_compose(spring, RetreatOptions{});
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
    fake_client::reset();
    brox_order_submit(nullptr, position, static_cast<uint16_t>(power << 8));
    EXPECT_EQ(fake_client::sent().size(), 1u);
    if (fake_client::sent().empty()) return {};
    const Bytes &record = fake_client::sent().front();
    return Bytes(record.begin() + RECORD_MESSAGE_AT, record.end());
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

// The chosen orders as "unit: order" texts, in the order they were taken.
Texts chosen_texts(World &world, const Position *position, const PowerOrders &orders) {
    Texts texts;
    for (const ChosenOrder &chosen : orders.chosen) {
        const Unit *unit = position->units[chosen.unit];
        texts.push_back((unit->location ? world.name(unit) : "slot") + ": " + world.name(chosen.order));
    }
    return texts;
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
    PowerOrders orders;
    ASSERT_TRUE(orders_decode(server, 1, message.data(), message.size(), &orders));
    EXPECT_TRUE(orders.received);
    EXPECT_EQ(orders.entries, 3);
    EXPECT_EQ(orders.refused, 0);
    EXPECT_EQ(chosen_texts(world, server, orders),
              (Texts{"A POR: CONVOY_MOVE GAS/f via MAO", "F MAO: CONVOY A POR -> GAS/f",
                     "F WES: SUPPORT A MAR -> SPA/sc"}));
    // The copies refer into the server's Position, not the bot's.
    EXPECT_EQ(orders.chosen[1].order.other_unit, world.unit(server, "POR"));
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

    PowerOrders orders;
    ASSERT_TRUE(orders_decode(server, 0, message.data(), message.size(), &orders));
    EXPECT_EQ(orders.entries, 6);
    EXPECT_EQ(orders.refused, 4);
    EXPECT_EQ(orders.refusals.size(), 4u);
    EXPECT_EQ(chosen_texts(world, server, orders), (Texts{"A A: MOVE D", "A B: MOVE E"}));
}

TEST(OrdersDecode, AMessageWhoseCountDoesNotFitItsLengthIsNotRead) {
    World world(grid_board(), "0: A B; 1: C; 2: G");
    Position *bot = world.position(SEASON_SPRING, "0 A A; 0 A B");
    Position *server = world.position(SEASON_SPRING, "0 A A; 0 A B");
    Bytes message = submitted(world, bot, 0, {{"A", "MOVE D"}});
    PowerOrders orders;
    orders.received = true;
    ASSERT_EQ(orders_message_count(message.data()), 2);  // A moves, B holds
    put_u16(message.data(), ORDERS_COUNT_AT, 3);  // one entry more than the length holds
    EXPECT_FALSE(orders_decode(server, 0, message.data(), message.size(), &orders));
    EXPECT_FALSE(orders.received);
    EXPECT_TRUE(orders.chosen.empty());
    put_u16(message.data(), ORDERS_COUNT_AT, 1);  // fewer
    EXPECT_FALSE(orders_decode(server, 0, message.data(), message.size(), &orders));
    EXPECT_FALSE(orders_decode(server, 0, message.data(), 7, &orders));  // no count at all
    put_u16(message.data(), ORDERS_COUNT_AT, 2);
    EXPECT_TRUE(orders_decode(server, 0, message.data(), message.size(), &orders));
    EXPECT_EQ(orders.chosen.size(), 2u);
}

TEST(OrdersDecode, RetreatSeasonsTakeOrdersForDislodgedUnitsOnly) {
    World world(grid_board(), "0: A B; 1: C; 2: G");
    const char *units = "1 A E dislodged -> C F; 1 A C; 0 A B";
    Position *bot = world.position(SEASON_SUMMER, units);
    Position *server = world.position(SEASON_SUMMER, units);
    Bytes message = submitted(world, bot, 1, {{"E", "RETREAT F"}});
    PowerOrders orders;
    ASSERT_TRUE(orders_decode(server, 1, message.data(), message.size(), &orders));
    EXPECT_EQ(chosen_texts(world, server, orders), (Texts{"A E: RETREAT F"}));

    // A dislodged unit left on hold (what the library sends when nothing was
    // chosen) is refused, so it disbands; a retreat to a place not offered
    // is refused too.
    Position *unchosen = world.position(SEASON_SUMMER, units);
    Bytes hold = submitted(world, unchosen, 1, {});
    ASSERT_TRUE(orders_decode(server, 1, hold.data(), hold.size(), &orders));
    EXPECT_EQ(orders.refused, 1);
    EXPECT_TRUE(orders.chosen.empty());
    edit_entry(message, 0, [](OrderEntry &e) { e.target_province = token_of(grid_board(), "D"); });
    ASSERT_TRUE(orders_decode(server, 1, message.data(), message.size(), &orders));
    EXPECT_EQ(orders.refused, 1);

    // The standing army in C is not dislodged: an order for it is refused.
    edit_entry(message, 0, [](OrderEntry &e) {
        e.unit.province_token = token_of(grid_board(), "C");
        e.unit.dislodged = 0;
    });
    ASSERT_TRUE(orders_decode(server, 1, message.data(), message.size(), &orders));
    EXPECT_EQ(orders.refused, 1);
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

    PowerOrders orders;
    ASSERT_TRUE(orders_decode(server, 0, message.data(), message.size(), &orders));
    EXPECT_EQ(chosen_texts(world, server, orders), (Texts{"slot: BUILD A", "slot: BUILD B"}));
    EXPECT_EQ(orders.refused, 3);
    // Each build went to a slot of its own.
    ASSERT_EQ(orders.chosen.size(), 2u);
    EXPECT_NE(orders.chosen[0].unit, orders.chosen[1].unit);
}

TEST(OrdersDecode, NoMoreRemovalsAreTakenThanAreDue) {
    // Power 1 owns C alone with three units: two removals due.
    World world(grid_board(), "0: A B; 1: C; 2: G");
    const char *units = "1 A C; 1 A F; 1 A H; 0 A A; 0 A B";
    Position *bot = world.position(SEASON_WINTER, units);
    Position *server = world.position(SEASON_WINTER, units);
    ASSERT_EQ(server->adjustment[1], -2);
    Bytes message = submitted(world, bot, 1, {{"C", "REMOVE"}, {"F", "REMOVE"}, {"H", "REMOVE"}});
    PowerOrders orders;
    ASSERT_TRUE(orders_decode(server, 1, message.data(), message.size(), &orders));
    EXPECT_EQ(chosen_texts(world, server, orders), (Texts{"A C: REMOVE", "A F: REMOVE"}));
    EXPECT_EQ(orders.refused, 1);
    // A power with nothing to remove has no removal taken.
    Bytes other = submitted(world, bot, 1, {});
    edit_entry(other, 0, [](OrderEntry &e) {
        e.unit.power = 0;
        e.unit.province_token = token_of(grid_board(), "A");
    });
    ASSERT_TRUE(orders_decode(server, 0, other.data(), other.size(), &orders));
    EXPECT_TRUE(orders.chosen.empty());
}

}  // namespace
