// CentreTables: what the message lists, what is skipped, and the reference
// count shared between holders.
#include <gtest/gtest.h>

#include <vector>

#include "board.h"
#include "common/bytes.h"
#include "common/record.h"
#include "doubles.h"
#include "world/centres.h"
#include "world/centres_message.h"
#include "world/map.h"

namespace {

using board::Board;

class Centres : public ::testing::Test {
  protected:
    Board board{R"(
        powers 13
        land A*0 B*1 C*1 D* E F G H I J K L M
    )"};
    Map *map = nullptr;
    long live_before = 0;

    void SetUp() override {
        live_before = test_memory::live_blocks();
        map = map_build(board.map_message().data());
        ASSERT_NE(map, nullptr);
    }
    void TearDown() override {
        map_release(map);
        EXPECT_EQ(test_memory::live_blocks(), live_before);
    }
    std::vector<uint16_t> list(const CentreTable *table, int power) {
        const CentreList *centres = table->lists[power];
        return std::vector<uint16_t>(centres->provinces, centres->provinces + centres->count);
    }
};

TEST_F(Centres, ListsKeepMessageOrderAndPowerElevenOwnsInLargeGames) {
    std::vector<uint8_t> message = board.centres("1: C B; 0: A; 11: D; 12: E; 1: F");
    CentreTable *table = centre_table_build(map, message.data());
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->ref_count, 0);
    EXPECT_EQ(list(table, 0), (std::vector<uint16_t>{0}));
    EXPECT_EQ(list(table, 1), (std::vector<uint16_t>{2, 1, 5}));
    EXPECT_EQ(list(table, 11), (std::vector<uint16_t>{3}));  // a power like any other in 13
    EXPECT_EQ(list(table, 12), (std::vector<uint16_t>{4}));
    for (int p = 2; p < 11; p++) EXPECT_TRUE(list(table, p).empty());
    centre_table_retain(table);
    centre_table_release(map, table);
}

TEST(CentresOfSmallGames, PowerElevenMarksAnUnownedCentre) {
    Board small{R"(
        powers 11
        land A*0 B*1 C*
    )"};
    Map *map = map_build(small.map_message().data());
    ASSERT_NE(map, nullptr);
    std::vector<uint8_t> message = small.centres("0: A; 11: C; 1: B");
    CentreTable *table = centre_table_retain(centre_table_build(map, message.data()));
    ASSERT_NE(table, nullptr);
    uint16_t listed = 0;
    for (int p = 0; p < 11; p++) listed = static_cast<uint16_t>(listed + table->lists[p]->count);
    EXPECT_EQ(listed, 2);
    EXPECT_EQ(table->lists[11], nullptr);
    centre_table_release(map, table);
    map_release(map);
}

TEST_F(Centres, AnEmptyMessageLeavesEveryCentreUnowned) {
    std::vector<uint8_t> message = board.centres("");
    CentreTable *table = centre_table_build(map, message.data());
    ASSERT_NE(table, nullptr);
    for (int p = 0; p < 13; p++) EXPECT_EQ(table->lists[p]->count, 0);
    centre_table_retain(table);
    centre_table_release(map, table);
}

TEST_F(Centres, EntriesOutOfRangeOrBeyondTheMessageAreSkipped) {
    std::vector<board::CentreEntry> entries = {{0, 0}, {13, 1}, {400, 2}, {1, 13}, {1, 0xFFFF}, {1, 2}};
    std::vector<uint8_t> message = board::centre_message(entries);
    put_u16(message.data(), CENTRES_ENTRY_COUNT_AT, 200);  // claims more entries than the message holds
    CentreTable *table = centre_table_build(map, message.data());
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(list(table, 0), (std::vector<uint16_t>{0}));
    EXPECT_EQ(list(table, 1), (std::vector<uint16_t>{2}));
    centre_table_retain(table);
    centre_table_release(map, table);

    // A length that ends inside the entries keeps only the whole ones.
    message = board.centres("0: A B C");
    msg_set_length(message.data(), static_cast<uint16_t>(message.size() - 1));
    table = centre_table_build(map, message.data());
    EXPECT_EQ(list(table, 0), (std::vector<uint16_t>{0, 1}));
    centre_table_retain(table);
    centre_table_release(map, table);
}

TEST_F(Centres, AListHoldsAtMost300Centres) {
    std::vector<board::CentreEntry> entries(310, board::CentreEntry{2, 3});
    std::vector<uint8_t> message = board::centre_message(entries);
    CentreTable *table = centre_table_build(map, message.data());
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->lists[2]->count, 300);
    centre_table_retain(table);
    centre_table_release(map, table);
}

TEST_F(Centres, TheLastOfSeveralHoldersFreesTheTable) {
    std::vector<uint8_t> message = board.centres("0: A");
    CentreTable *table = centre_table_build(map, message.data());
    ASSERT_NE(table, nullptr);
    long with_table = test_memory::live_blocks();
    EXPECT_EQ(centre_table_retain(table), table);
    centre_table_retain(table);
    centre_table_retain(table);
    EXPECT_EQ(table->ref_count, 3);
    centre_table_release(map, table);
    centre_table_release(map, table);
    EXPECT_EQ(table->ref_count, 1);
    EXPECT_EQ(test_memory::live_blocks(), with_table);
    centre_table_release(map, table);
    EXPECT_EQ(test_memory::live_blocks(), with_table - 14);  // the table and 13 lists
}

TEST_F(Centres, FailedAllocationsLeaveNothingBehind) {
    std::vector<uint8_t> message = board.centres("0: A; 1: B");
    for (long n = 1;; n++) {
        long before = test_memory::live_blocks();
        test_memory::fail_at(n);
        CentreTable *table = centre_table_build(map, message.data());
        bool failed = test_memory::failed();
        test_memory::fail_at(0);
        if (!failed) {
            ASSERT_NE(table, nullptr);
            centre_table_retain(table);
            centre_table_release(map, table);
            break;
        }
        EXPECT_EQ(table, nullptr);
        EXPECT_EQ(test_memory::live_blocks(), before) << "allocation " << n;
    }
}

}  // namespace
