// Position messages from a hostile or broken server: entries that cannot be
// placed, counts beyond the message or the record, missing tables.
#include <gtest/gtest.h>

#include <string>

#include "board.h"
#include "common/bytes.h"
#include "doubles.h"
#include "world.h"
#include "world/centres.h"
#include "world/position.h"
#include "world/position_message.h"

namespace {

using board::Board;

const Board &small() {
    static const Board board(R"(
        powers 2
        land  A*0 B*1
        coast C
        sea   S
        army  A-B B-C
        fleet C-S
    )");
    return board;
}

TEST(PositionInput, EntriesThatCannotBePlacedAreLeftOut) {
    World world(small());
    std::vector<board::UnitEntry> units = small().units("0 A A; 1 A B; 0 F S; 1 A C");
    units[1].province = 40;       // no such province
    units[2].power = 2;           // no such power
    units[3].coast = 9;           // C has no location with coast 9
    units.push_back(small().units("1 F C")[0]);
    std::vector<uint8_t> message = board::position_message(SEASON_SPRING, 1901, units);
    Position *position = world.position(message);
    ASSERT_NE(position, nullptr);
    ASSERT_EQ(position->unit_count, 2);
    EXPECT_EQ(world.name(position->units[0]), "A A");
    EXPECT_EQ(world.name(position->units[1]), "F C");
    EXPECT_EQ(position->unit_counts[0], 1);
    EXPECT_EQ(position->unit_counts[1], 1);
    EXPECT_EQ(position->provinces[small().index("B")].reach_count, 1);  // only A A reaches B
    EXPECT_EQ(world.candidates(position->units[0]), (Texts{"HOLD", "MOVE B"}));
}

TEST(PositionInput, CountsBeyondTheMessageAreCut) {
    World world(small());
    std::vector<uint8_t> message = small().position(SEASON_SPRING, 1901, "0 A A; 1 A B");
    put_u16(message.data(), POSITION_UNIT_COUNT_AT, 500);  // claims 500 units
    Position *position = world.position(message);
    ASSERT_NE(position, nullptr);
    EXPECT_EQ(position->unit_count, 2);

    // A length that ends inside the second entry keeps only the first.
    message = small().position(SEASON_SPRING, 1901, "0 A A; 1 A B");
    msg_set_length(message.data(), static_cast<uint16_t>(message.size() - 1));
    position = world.position(message);
    ASSERT_NE(position, nullptr);
    EXPECT_EQ(position->unit_count, 1);

    // Too short for the header: nothing is built.
    message = small().position(SEASON_SPRING, 1901, "");
    msg_set_length(message.data(), POSITION_UNITS_AT - 1);
    EXPECT_EQ(world.position(message), nullptr);
}

TEST(PositionInput, MoreThanTwentyRetreatOptionsAreReadAsTwenty) {
    World world(small());
    std::vector<board::UnitEntry> units = small().units("0 A B dislodged -> A C");
    units[0].retreat_count_field = 60000;
    std::vector<uint8_t> message = board::position_message(SEASON_SUMMER, 1901, units);
    Position *position = world.position(message);
    ASSERT_NE(position, nullptr);
    // Options 3 to 20 are zero bytes: province 0 (A) with coast 0, unknown.
    EXPECT_EQ(world.candidates(position->units[0]),
              (Texts{"DISBAND", "RETREAT -", "RETREAT A", "RETREAT C"}));
}

TEST(PositionInput, NoMoreThanAHundredUnitsCountingBuildSlots) {
    std::string names, owned, units;
    for (int i = 0; i < 120; i++) {
        names += " P" + std::to_string(i) + "*0";
        owned += " P" + std::to_string(i);
        if (i < 98) units += "0 A P" + std::to_string(i) + ";";
    }
    Board board("powers 1\nland" + names + "\n");
    World world(board, "0:" + owned);
    Position *winter = world.position(SEASON_WINTER, units);
    ASSERT_NE(winter, nullptr);
    EXPECT_EQ(winter->adjustment[0], 22);
    ASSERT_EQ(winter->unit_count, 100);
    EXPECT_EQ(winter->units[98]->order.token, ORD_WAIVE);
    EXPECT_EQ(world.candidates(winter->units[98]).size(), 23u);  // waive and 22 free homes
    EXPECT_EQ(winter->units[99]->location, nullptr);

    std::string crowd;
    for (int i = 0; i < 120; i++) crowd += "0 A P" + std::to_string(i) + ";";
    Position *spring = world.position(SEASON_SPRING, crowd);
    ASSERT_NE(spring, nullptr);
    EXPECT_EQ(spring->unit_count, 100);
    EXPECT_EQ(spring->unit_counts[0], 100);
}

TEST(PositionInput, MissingTablesBuildNothing) {
    World world(small());
    std::vector<uint8_t> message = small().position(SEASON_SPRING, 1901, "0 A A");
    EXPECT_EQ(position_build(nullptr, world.centres, message.data()), nullptr);
    EXPECT_EQ(position_build(world.map, nullptr, message.data()), nullptr);
    EXPECT_EQ(world.centres->ref_count, 1);
}

TEST(PositionInput, OwnersOutsideTheMapAreIgnored) {
    World world(small());
    CentreTable *table = centre_table_create(world.map);
    ASSERT_NE(table, nullptr);
    centre_table_add(table, 0, 300);  // beyond the Map
    centre_table_add(table, 1, small().index("B"));
    std::vector<uint8_t> message = small().position(SEASON_WINTER, 1901, "");
    Position *position = position_build(world.map, table, message.data());
    ASSERT_NE(position, nullptr);
    EXPECT_EQ(position->provinces[small().index("B")].owner, 1);
    EXPECT_EQ(position->provinces[small().index("A")].owner, 2);
    brox_position_free(position);
}

}  // namespace
