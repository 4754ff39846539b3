// The records the session builds: sizes, headers and bodies byte by byte,
// and the accept/refuse answers to received records.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/bytes.h"
#include "doubles.h"
#include "session/message.h"

namespace {

class Messages : public ::testing::Test {
  protected:
    void SetUp() override { fake_client::reset(); }
    const std::vector<uint8_t> &last() { return fake_client::sent().back(); }
};

// Kind, type, length and flag of a record, and that it was sent with size
// length + 1.
void expect_header(const std::vector<uint8_t> &record, uint16_t type, uint16_t length) {
    ASSERT_GE(record.size(), 7u);
    EXPECT_EQ(record[0], KIND_MESSAGE);
    EXPECT_EQ(get_u16(record.data(), 1), type);
    EXPECT_EQ(get_u16(record.data(), 3), length);
    EXPECT_EQ(record[5], FLAG_PLAIN);
    EXPECT_EQ(record.size(), length + 1u);
}

TEST_F(Messages, RequestsHaveTheirSizesTypesAndEmptyBodies) {
    ASSERT_EQ(send_map_name_request(), 1);
    expect_header(last(), MSG_MAP_NAME, 16);
    EXPECT_EQ(last()[7], 0);  // empty name

    ASSERT_EQ(send_map_definition_request(), 1);
    expect_header(last(), MSG_MAP_DEFINITION, 16);
    EXPECT_EQ(get_u16(last().data(), 7), 0);   // power_count
    EXPECT_EQ(get_u16(last().data(), 9), 0);   // province_count
    EXPECT_EQ(get_u32(last().data(), 13), 0u); // adjacency_count

    ASSERT_EQ(send_assignment_request(), 1);
    expect_header(last(), MSG_ASSIGNMENT, 40);

    ASSERT_EQ(send_centre_ownership_request(), 1);
    expect_header(last(), MSG_CENTRE_OWNERSHIP, 8);
    EXPECT_EQ(get_u16(last().data(), 7), 0);

    ASSERT_EQ(send_position_request(), 1);
    expect_header(last(), MSG_POSITION, 12);
    EXPECT_EQ(get_u16(last().data(), 7), POSITION_REQUEST_SEASON);
    EXPECT_EQ(get_u16(last().data(), 9), 0);   // year
    EXPECT_EQ(get_u16(last().data(), 11), 0);  // unit_count

    ASSERT_EQ(send_rejoin(0x0341, 0xBEEF), 1);
    expect_header(last(), MSG_REJOIN, 10);
    EXPECT_EQ(get_u16(last().data(), 7), 0x0341);
    EXPECT_EQ(get_u16(last().data(), 9), 0xBEEF);
}

TEST_F(Messages, GofCarriesItsValueLowByteFirstAtRecordBytes9To12) {
    ASSERT_EQ(brox_build_send_gof(0x11223344u), 1);
    expect_header(last(), MSG_GOF, 12);
    EXPECT_EQ(last()[9], 0x44);
    EXPECT_EQ(last()[10], 0x33);
    EXPECT_EQ(last()[11], 0x22);
    EXPECT_EQ(last()[12], 0x11);
}

TEST_F(Messages, SendResultsArePassedOnUnchanged) {
    fake_client::fail_all_sends(true);
    EXPECT_EQ(brox_build_send_gof(1), 0);
    EXPECT_EQ(send_join("a", "b"), 0);
    EXPECT_EQ(send_position_request(), 0);
    EXPECT_TRUE(fake_client::sent().empty());
}

TEST_F(Messages, JoinFieldsHoldNameAndVersionWithTheirNul) {
    ASSERT_EQ(send_join("", "v1.2"), 1);
    expect_header(last(), MSG_JOIN, 136);
    const uint8_t *message = last().data() + 1;
    EXPECT_EQ(message[6], 0);
    EXPECT_STREQ(reinterpret_cast<const char *>(message + 71), "v1.2");

    std::string exact(64, 'n');
    ASSERT_EQ(send_join(exact.c_str(), "v"), 1);
    message = last().data() + 1;
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(message + 6), 64), exact);
    EXPECT_EQ(message[70], 0);
    EXPECT_EQ(message[71], 'v');
}

TEST_F(Messages, OverlongJoinTextsAreCutToTheirFields) {
    std::string name(100, 'x');
    std::string version(300, 'y');
    ASSERT_EQ(send_join(name.c_str(), version.c_str()), 1);
    ASSERT_EQ(last().size(), 137u);
    const uint8_t *message = last().data() + 1;
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(message + 6)), std::string(64, 'x'));
    EXPECT_EQ(message[70], 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(message + 71)), std::string(64, 'y'));
    EXPECT_EQ(message[135], 0);
}

TEST_F(Messages, InitWritesOnlyTheHeaderAtUnalignedOffsets) {
    alignas(16) uint8_t buffer[32];
    std::memset(buffer, 0xAB, sizeof buffer);
    uint8_t *message = msg_init(buffer, MSG_ORDERS, 20);
    EXPECT_EQ(message, buffer + 1);
    EXPECT_EQ(buffer[0], KIND_MESSAGE);
    EXPECT_EQ(buffer[1], 0x48);  // type, low byte first, at record byte 1
    EXPECT_EQ(buffer[2], 0x18);
    EXPECT_EQ(buffer[3], 20);    // length at record byte 3
    EXPECT_EQ(buffer[4], 0);
    EXPECT_EQ(buffer[5], FLAG_PLAIN);
    for (int i = 6; i < 32; i++) EXPECT_EQ(buffer[i], 0xAB) << "byte " << i;
}

TEST_F(Messages, AnswersChangeOnlyTheFlag) {
    std::vector<uint8_t> record = {KIND_MESSAGE, 0x48, 0x09, 12, 0, 1, 0x77, 'L', 'O', 'N', 0, 9, 8};
    std::vector<uint8_t> original = record;
    ASSERT_EQ(msg_send_accept(record.data()), 1);
    std::vector<uint8_t> expected = original;
    expected[5] = FLAG_ACCEPT;
    EXPECT_EQ(last(), expected);
    EXPECT_EQ(record[5], FLAG_ACCEPT);

    ASSERT_EQ(msg_send_reject(record.data()), 1);
    expected[5] = FLAG_REJECT;
    EXPECT_EQ(last(), expected);
}

}  // namespace
