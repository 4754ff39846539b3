// Order submission: which units each season sends, and every order kind's
// entry, decoded back into text against the board; bytes the format leaves
// unset must be zero.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "board.h"
#include "common/bytes.h"
#include "doubles.h"
#include "orders/submit.h"
#include "world.h"
#include "world/position_message.h"

namespace {

using Bytes = std::vector<uint8_t>;

const board::Board &example() {
    static const board::Board board(R"(
        powers 2
        land   PAR*0 BUR MUN*1
        coast  BRE*0 PIC LON*1 KIE*1
        sea    ENG NTH
        army   PAR-BUR PAR-BRE PAR-PIC BUR-PIC BRE-PIC BUR-MUN MUN-KIE
        fleet  BRE-ENG PIC-ENG ENG-LON ENG-NTH NTH-LON NTH-KIE
    )");
    return board;
}

class Submit : public ::testing::Test {
  protected:
    World world{example(), "0: PAR BRE; 1: MUN LON KIE"};

    void SetUp() override { fake_client::reset(); }
    void TearDown() override { fake_client::reset(); }

    // Submits and returns the one record sent (empty when none was).
    Bytes submit(Position *position, uint16_t power) {
        fake_client::reset();
        brox_order_submit(nullptr, position, power);
        EXPECT_LE(fake_client::sent().size(), 1u);
        return fake_client::sent().empty() ? Bytes{} : fake_client::sent()[0];
    }

    std::string province(uint16_t token) const {
        if (token == TARGET_NONE) return "none";
        if (token == 0) return "-";
        if ((token & 0xFF) != 0x50) return "?" + std::to_string(token);
        return example().definition.provinces.at(token >> 8).name;
    }

    static std::string coast(uint16_t coast) {
        return coast == COAST_ANY ? "any" : std::to_string(coast);
    }

    std::string block(const uint8_t *unit) const {
        uint16_t type = get_u16(unit, 2);
        std::string text = std::to_string(get_u16(unit, 0)) + " ";
        text += type == UNIT_ARMY ? "A" : type == UNIT_FLEET ? "F" : type == 0 ? "-" : "?";
        text += " " + province(get_u16(unit, 4)) + "/" + coast(get_u16(unit, 6));
        if (uint32_t dislodged = get_u32(unit, 8)) text += " dislodged " + std::to_string(dislodged);
        for (size_t i = 12; i < UNIT_BLOCK_SIZE; i++)
            EXPECT_EQ(unit[i], 0) << "unit block byte " << i;
        return text;
    }

    static std::string token(uint16_t token) {
        switch (token) {
        case ORD_HOLD: return "HOLD";
        case ORD_MOVE: return "MOVE";
        case ORD_SUPPORT: return "SUPPORT";
        case ORD_CONVOY: return "CONVOY";
        case ORD_CONVOY_MOVE: return "CONVOY_MOVE";
        case ORD_RETREAT: return "RETREAT";
        case ORD_DISBAND: return "DISBAND";
        case ORD_BUILD: return "BUILD";
        case ORD_REMOVE: return "REMOVE";
        case ORD_WAIVE: return "WAIVE";
        default: return "TOKEN " + std::to_string(token);
        }
    }

    // "unit block ORDER target/coast [other block] via P,Q" for one entry.
    std::string entry(const uint8_t *bytes) const {
        std::string text = block(bytes) + " " + token(get_u16(bytes, 96)) + " " +
                           province(get_u16(bytes, 98)) + "/" + coast(get_u16(bytes, 100));
        EXPECT_EQ(get_u16(bytes, 102), 0);
        const uint8_t *other = bytes + 104;
        bool has_other = false;
        for (size_t i = 0; i < UNIT_BLOCK_SIZE; i++) has_other |= other[i] != 0;
        if (has_other) text += " [" + block(other) + "]";
        uint16_t route_length = get_u16(bytes, 200);
        for (uint16_t r = 0; r < route_length && r < MAX_ROUTE; r++)
            text += (r ? "," : " via ") + province(get_u16(bytes, 202 + 2 * r));
        for (size_t i = 202 + 2 * route_length; i < ORDER_ENTRY_SIZE; i++)
            EXPECT_EQ(bytes[i], 0) << "entry byte " << i;
        return text;
    }

    // Checks the record's envelope and decodes its entries.
    std::vector<std::string> entries(const Bytes &record) const {
        std::vector<std::string> texts;
        if (record.size() < 9) return texts;
        EXPECT_EQ(record[0], KIND_MESSAGE);
        EXPECT_EQ(get_u16(record.data(), 1), MSG_ORDERS);
        uint16_t count = get_u16(record.data(), 7);
        EXPECT_EQ(get_u16(record.data(), 3), 8 + 244 * count);
        EXPECT_EQ(record.size(), 9 + 244u * count);
        EXPECT_EQ(record[5], FLAG_SUBMIT);
        EXPECT_EQ(record[6], 0);
        for (uint16_t e = 0; e < count && 9 + 244u * (e + 1) <= record.size(); e++)
            texts.push_back(entry(record.data() + 9 + 244 * e));
        return texts;
    }
};

TEST_F(Submit, MovementSeasonsSendEveryUnitOfThePowerWithItsOrder) {
    for (uint16_t season : {SEASON_SPRING, SEASON_FALL}) {
        SCOPED_TRACE(season);
        Position *position = world.position(
            season, "0 A BRE; 0 F ENG; 1 A BUR; 0 A PAR; 0 F NTH; 0 A PIC; 0 A MUN; 1 F LON");
        world.choose(world.unit(position, "BRE"), "CONVOY_MOVE KIE/f via ENG,NTH");
        world.choose(world.unit(position, "ENG"), "CONVOY A BRE -> LON/f");
        world.choose(world.unit(position, "PAR"), "MOVE BUR");
        world.choose(world.unit(position, "NTH"), "SUPPORT F LON");
        world.choose(world.unit(position, "PIC"), "SUPPORT A MUN -> BUR");
        world.choose(world.unit(position, "LON"), "MOVE ENG");  // another power's order
        world.choose(world.unit(position, "BUR"), "MOVE PIC");

        EXPECT_EQ(entries(submit(position, 0x0041)),
                  (Texts{"0 A BRE/1 CONVOY_MOVE KIE/4 via ENG,NTH",
                         "0 F ENG/2 CONVOY LON/4 [0 A BRE/1]",
                         "0 A PAR/1 MOVE BUR/1",
                         "0 F NTH/2 SUPPORT none/0 [1 F LON/4]",
                         "0 A PIC/1 SUPPORT BUR/any [0 A MUN/1]",
                         "0 A MUN/1 HOLD none/0"}));
        EXPECT_EQ(entries(submit(position, 0x0141)),
                  (Texts{"1 A BUR/1 MOVE PIC/1", "1 F LON/4 MOVE ENG/2"}));
    }
}

TEST_F(Submit, RetreatSeasonsSendOnlyDislodgedUnits) {
    for (uint16_t season : {SEASON_SUMMER, SEASON_AUTUMN}) {
        SCOPED_TRACE(season);
        std::vector<uint8_t> message = example().position(
            season, 1902,
            "0 A PAR dislodged -> BUR PIC BRE/7; 0 F ENG; 0 A MUN dislodged -> BUR; "
            "0 A KIE dislodged; 1 A BUR dislodged -> MUN");
        put_u32(position_message_unit(message.data(), 2), UNIT_DISLODGED_AT, 0x01020304);  // sent back as received
        Position *position = world.position(message);
        ASSERT_NE(position, nullptr);
        world.choose(world.unit(position, "PAR"), "RETREAT PIC");
        world.choose(world.unit(position, "MUN"), "DISBAND");
        Unit *fleet = world.unit(position, "ENG");  // not dislodged: never sent
        fleet->order.token = ORD_MOVE;
        fleet->order.target = world.location(position, "NTH");
        world.choose(world.unit(position, "BUR"), "RETREAT MUN");

        EXPECT_EQ(entries(submit(position, 0x0041)),
                  (Texts{"0 A PAR/1 dislodged 1 RETREAT PIC/1",
                         "0 A MUN/1 dislodged 16909060 DISBAND none/0",
                         "0 A KIE/1 dislodged 1 HOLD none/0"}));

        // A retreat whose option named no location goes out without a target.
        world.choose(world.unit(position, "PAR"), "RETREAT -");
        EXPECT_EQ(entries(submit(position, 0x0041))[0], "0 A PAR/1 dislodged 1 RETREAT none/0");
    }
}

TEST_F(Submit, WinterSendsBuildsWaivesAndRemovalsButNotHolds) {
    world.own("0: PAR BRE PIC BUR; 1: LON");
    Position *position = world.position(SEASON_WINTER, "0 A MUN; 1 A KIE; 1 F NTH; 1 A BUR");
    ASSERT_EQ(position->unit_count, 7);  // four units, three build slots of power 0
    Unit *first_slot = position->units[4];
    Unit *third_slot = position->units[6];
    // Only the first slot has candidates; the others take theirs from it.
    const Order *build_par = world.candidate(first_slot, "BUILD PAR");
    ASSERT_NE(build_par, nullptr);
    third_slot->order = *build_par;
    world.choose(first_slot, "BUILD BRE/f");
    first_slot->unit_type = UNIT_FLEET;  // the bot says what it builds; the second slot waives

    EXPECT_EQ(entries(submit(position, 0x0041)),
              (Texts{"0 F BRE/4 BUILD -/0", "0 - -/0 WAIVE none/0", "0 A PAR/1 BUILD -/0"}));

    world.choose(world.unit(position, "NTH"), "REMOVE");
    EXPECT_EQ(entries(submit(position, 0x0141)), (Texts{"1 F NTH/2 REMOVE none/0"}));

    // Nothing to adjust and nothing chosen: no record at all.
    world.own("0: MUN; 1: KIE NTH BUR");
    Position *balanced = world.position(SEASON_WINTER, "0 A MUN; 1 A KIE; 1 F NTH; 1 A BUR");
    EXPECT_TRUE(submit(balanced, 0x0041).empty());
    EXPECT_TRUE(submit(balanced, 0x0141).empty());
}

TEST_F(Submit, BuildSlotsWithoutAUnitBlockToWriteAreLeftOut) {
    world.own("0: PAR BRE PIC BUR; 1: LON");
    // A season word that is no season builds as winter but submits as
    // movement: every unit goes, holds included.
    Position *position = world.position(POSITION_REQUEST_SEASON, "0 A MUN");
    ASSERT_EQ(position->unit_count, 5);  // the army, three slots of power 0, one of power 1
    position->units[1]->order.token = ORD_HOLD;  // no location to hold in
    position->units[2]->order.token = ORD_BUILD; // a build without a place
    position->units[2]->order.target = nullptr;
    EXPECT_EQ(entries(submit(position, 0x0041)),
              (Texts{"0 A MUN/1 HOLD none/0", "0 - -/0 WAIVE none/0"}));

    // Only the slots, and none of them can be written: nothing is sent.
    Position *slots_only = world.position(POSITION_REQUEST_SEASON, "");
    for (uint16_t u = 0; u < slots_only->unit_count; u++)
        slots_only->units[u]->order.token = ORD_REMOVE;
    ASSERT_GT(slots_only->unit_count, 0);
    EXPECT_TRUE(submit(slots_only, 0x0041).empty());
}

TEST_F(Submit, OnlyTheHighByteOfThePowerSelectsUnits) {
    Position *position = world.position(SEASON_SPRING, "0 A PAR; 1 A MUN");
    Bytes low = submit(position, 0x0041);
    EXPECT_EQ(submit(position, 0x00FF), low);
    EXPECT_EQ(entries(low), (Texts{"0 A PAR/1 HOLD none/0"}));
    EXPECT_EQ(entries(submit(position, 0x01FF)), (Texts{"1 A MUN/1 HOLD none/0"}));
    EXPECT_TRUE(submit(position, 0x0241).empty());
}

TEST_F(Submit, AHundredUnitsFitOneRecord) {
    std::string provinces = "powers 1\nland";
    std::string units;
    for (int p = 0; p < 100; p++) {
        provinces += " P" + std::to_string(p);
        units += "0 A P" + std::to_string(p) + ";";
    }
    board::Board big(provinces);
    World big_world(big, "");
    Position *position = big_world.position(SEASON_SPRING, units);
    ASSERT_EQ(position->unit_count, 100);
    fake_client::reset();
    brox_order_submit(nullptr, position, 0x0041);
    ASSERT_EQ(fake_client::sent().size(), 1u);
    const Bytes &record = fake_client::sent()[0];
    EXPECT_EQ(record.size(), 24409u);
    EXPECT_EQ(get_u16(record.data(), 3), 24408);
    EXPECT_EQ(get_u16(record.data(), 7), 100);
    EXPECT_EQ(get_u16(record.data(), 9 + 244 * 99 + 4), (99 << 8) | 0x50);  // last unit's province
}

}  // namespace
