// The session against a scripted server: the join and rejoin message flows
// record by record, both dispatch tables, the connection events, the rejoin
// file, what the session owns and when it lets go of it, and the messages
// that arrive out of order or too short.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "board.h"
#include "common/assignment_message.h"
#include "common/bytes.h"
#include "common/event_record.h"
#include "common/record.h"
#include "doubles.h"
#include "session/join_message.h"
#include "session/map_name_message.h"
#include "session/rejoin_message.h"
#include "session/session.h"
#include "temp_dir.h"
#include "world/position_message.h"

namespace {

using Bytes = std::vector<uint8_t>;

const char *const CONNECTION_FAILURE = "Connection failure.  Check host (-n/-i) and port (-p).";
const char *const OUT_OF_MEMORY = "Out of memory.  (Exiting.)";
const char *const CONNECTION_LOST = "The connection to the server has been lost.";

Bytes file_bytes() {
    std::ifstream in("broxgame.log", std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

bool file_exists() { return std::filesystem::exists("broxgame.log"); }

// A message of `length` bytes with its header set and a body that counts
// up, so that copies can be told apart from zeros.
Bytes message_of(uint16_t type, uint16_t length, uint8_t flag = FLAG_PLAIN) {
    Bytes message(length < MSG_HEADER_SIZE ? MSG_HEADER_SIZE : length);
    for (size_t i = MSG_BODY_AT; i < message.size(); i++) message[i] = static_cast<uint8_t>(0xA0 + i);
    msg_set_flag(msg_header_init(message.data(), type, length), flag);
    return message;
}

// An assignment of `length` bytes; a field the length cuts is left out.
Bytes assignment(uint16_t power, uint16_t passcode, uint16_t length = ASSIGNMENT_LENGTH) {
    Bytes message = message_of(MSG_ASSIGNMENT, length);
    if (length >= ASSIGNMENT_POWER_AT + 2) put_u16(message.data(), ASSIGNMENT_POWER_AT, power);
    if (length >= ASSIGNMENT_PASSCODE_AT + 2) put_u16(message.data(), ASSIGNMENT_PASSCODE_AT, passcode);
    return message;
}

Bytes map_name(const char *name) {
    Bytes message(map_name_message_length(std::strlen(name)), 0);
    map_name_write(message.data(), name);
    return message;
}

// The texts of a sent join, and the name of a sent map-name record.
JoinTexts sent_join(const Bytes &record) { return join_read(record_message(record.data())); }
std::string sent_map_name(const Bytes &record) {
    std::string_view name;
    return map_name_read(record_message(record.data()), &name) ? std::string(name) : "(no NUL)";
}
RejoinRequest sent_rejoin(const Bytes &record) { return rejoin_read(record_message(record.data())); }

Bytes event(uint16_t code, uint32_t status) {
    EventRecord record = event_record_make({status, code});
    return Bytes(record.begin(), record.end());
}

// Checks a sent record's kind, type, flag and size (length + 1 and the
// expected size).
void expect_record(const Bytes &record, uint16_t type, uint8_t flag, size_t size) {
    ASSERT_GE(record.size(), RECORD_MIN_MESSAGE_SIZE);
    EXPECT_EQ(record_kind(record.data()), KIND_MESSAGE);
    EXPECT_EQ(board::record_type(record), type);
    EXPECT_EQ(board::record_flag(record), flag);
    EXPECT_EQ(record.size(), size);
    EXPECT_EQ(record_size(record.data()), record.size());
}

void expect_request(const Bytes &record, uint16_t type, size_t size) {
    expect_record(record, type, FLAG_PLAIN, size);
}

class SessionFlow : public ::testing::Test {
  protected:
    TempDir dir;
    board::Board board{R"(
        powers 2
        land   PAR*0 BUR MUN*1
        coast  BRE*0 KIE*1
        sea    NTH
        army   PAR-BUR BUR-MUN PAR-BRE MUN-KIE
        fleet  BRE-NTH NTH-KIE
    )"};
    Session session{};
    std::deque<Bytes> records;  // delivered records; stable addresses
    std::vector<uint8_t *> released;
    int keep_running = -1;
    int release_record = -1;
    long live_before = 0;
    static SessionFlow *current;

    static void release_msg(uint8_t *record) { current->released.push_back(record); }

    void SetUp() override {
        current = this;
        fake_client::reset();
        fake_notice::shown().clear();
        live_before = test_memory::live_blocks();
        std::memset(session.assignment, 0x5A, sizeof session.assignment);
        ASSERT_EQ(brox_initialise(&session, release_msg), 1);
    }

    void TearDown() override {
        brox_terminate(&session);
        EXPECT_EQ(test_memory::live_blocks(), live_before);
        fake_client::reset();
        test_memory::fail_at(0);
        test_memory::log_releases(false);
    }

    const std::vector<Bytes> &sent() { return fake_client::sent(); }

    // Hands a record to the session as the client library would deliver it.
    uint8_t *deliver_record(Bytes record) {
        records.push_back(std::move(record));
        brox_process_msg(&session, records.back().data(), &keep_running, &release_record);
        return records.back().data();
    }
    uint8_t *deliver(const Bytes &message) { return deliver_record(board::as_record(message)); }

    void expect_flags(int keep, int release) {
        EXPECT_EQ(keep_running, keep);
        EXPECT_EQ(release_record, release);
    }

    // The fresh-join exchange up to a held Map.
    void join_and_get_map() {
        ASSERT_EQ(brox_game_join(&session, "bot", "v1"), 1);
        deliver(map_name("TESTMAP"));
        deliver(board.map_message());
        ASSERT_NE(session.map, nullptr);
    }
};

SessionFlow *SessionFlow::current = nullptr;

// ---------------------------------------------------------------------------
// The message flows
// ---------------------------------------------------------------------------

TEST_F(SessionFlow, FreshJoinAnswersTheSetUpAndKeepsTheWorldCurrent) {
    ASSERT_EQ(brox_game_join(&session, "bot", "v1"), 1);
    EXPECT_EQ(fake_client::connect_calls(), 1);
    EXPECT_EQ(session.rejoining, 0);
    ASSERT_EQ(sent().size(), 1u);
    expect_request(sent()[0], MSG_JOIN, 137);
    EXPECT_STREQ(sent_join(sent()[0]).name, "bot");
    EXPECT_STREQ(sent_join(sent()[0]).version, "v1");

    Bytes granted = assignment(0x0141, 0x1234);
    deliver(granted);
    expect_flags(1, 1);
    EXPECT_EQ(Bytes(session.assignment, session.assignment + 40), granted);
    EXPECT_STREQ(session.name, "bot");
    EXPECT_STREQ(session.version, "v1");
    EXPECT_EQ(file_bytes(), (Bytes{0x41, 0x01, 0x34, 0x12}));
    EXPECT_EQ(sent().size(), 1u);

    uint8_t *name_record = deliver(map_name("TESTMAP"));
    EXPECT_NE(keep_running, 0);
    EXPECT_EQ(release_record, 0);
    EXPECT_EQ(session.map_name_msg, name_record);
    ASSERT_EQ(sent().size(), 2u);
    expect_request(sent()[1], MSG_MAP_DEFINITION, 17);
    Bytes name_as_received(name_record, name_record + 17);

    deliver(board.map_message());
    expect_flags(1, 1);
    ASSERT_NE(session.map, nullptr);
    EXPECT_EQ(session.map->province_count, 6);
    ASSERT_EQ(sent().size(), 3u);
    Bytes accepted = name_as_received;
    board::record_set_flag(accepted, FLAG_ACCEPT);
    EXPECT_EQ(sent()[2], accepted);  // the map name goes back unchanged but for its flag
    EXPECT_EQ(released, std::vector<uint8_t *>{name_record});
    EXPECT_EQ(session.map_name_msg, nullptr);

    deliver(board.centres("0: PAR BRE; 1: MUN KIE"));
    expect_flags(1, 1);
    ASSERT_NE(session.centres, nullptr);
    EXPECT_EQ(session.centres->ref_count, 1);
    EXPECT_EQ(session.centres->lists[1]->count, 2);

    deliver(board.position(SEASON_SPRING, 1901, "0 A PAR; 0 F BRE; 1 A MUN"));
    expect_flags(1, 1);
    ASSERT_NE(session.position, nullptr);
    EXPECT_EQ(session.position->map, session.map);
    EXPECT_EQ(session.position->centres, session.centres);
    EXPECT_EQ(session.centres->ref_count, 2);
    EXPECT_EQ(sent().size(), 3u);  // nothing more is answered

    deliver(message_of(MSG_GAME_END, MSG_HEADER_SIZE));
    expect_flags(0, 1);
    EXPECT_FALSE(file_exists());
    EXPECT_EQ(sent().size(), 3u);
    EXPECT_TRUE(fake_notice::shown().empty());
}

TEST_F(SessionFlow, RejoinAsksForNameThenAssignmentOwnershipAndPosition) {
    std::ofstream("broxgame.log", std::ios::binary).write("\x41\x03\xEF\xBE", 4);
    ASSERT_EQ(brox_game_join(&session, "bot", "v1"), 1);
    EXPECT_EQ(session.rejoining, 1);
    ASSERT_EQ(sent().size(), 1u);
    expect_request(sent()[0], MSG_REJOIN, 11);
    EXPECT_EQ(sent_rejoin(sent()[0]).power, 0x0341);
    EXPECT_EQ(sent_rejoin(sent()[0]).passcode, 0xBEEF);

    deliver(message_of(MSG_REJOIN, REJOIN_LENGTH, FLAG_ACCEPT));
    expect_flags(1, 1);
    ASSERT_EQ(sent().size(), 2u);
    expect_request(sent()[1], MSG_MAP_NAME, 17);
    EXPECT_EQ(sent_map_name(sent()[1]), "");  // an empty name

    uint8_t *name_record = deliver(map_name("TESTMAP"));
    EXPECT_EQ(release_record, 0);
    ASSERT_EQ(sent().size(), 3u);
    expect_request(sent()[2], MSG_MAP_DEFINITION, 17);

    deliver(board.map_message());
    expect_flags(1, 1);
    EXPECT_NE(session.map, nullptr);
    EXPECT_EQ(released, std::vector<uint8_t *>{name_record});  // released with no answer
    ASSERT_EQ(sent().size(), 6u);
    expect_request(sent()[3], MSG_ASSIGNMENT, 41);
    expect_request(sent()[4], MSG_CENTRE_OWNERSHIP, 9);
    expect_request(sent()[5], MSG_POSITION, 13);
    EXPECT_EQ(position_message_phase(record_message(sent()[5].data())).season, POSITION_REQUEST_SEASON);

    deliver(assignment(0x0341, 0xBEEF));
    EXPECT_EQ(file_bytes(), (Bytes{0x41, 0x03, 0xEF, 0xBE}));
    deliver(assignment(0x0141, 0x0777));  // a later assignment rewrites the file
    EXPECT_EQ(file_bytes(), (Bytes{0x41, 0x01, 0x77, 0x07}));
    deliver(board.centres("0: PAR"));
    deliver(board.position(SEASON_FALL, 1903, "0 A BUR"));
    EXPECT_NE(session.position, nullptr);
    EXPECT_EQ(sent().size(), 6u);

    deliver(message_of(MSG_SESSION_END, MSG_HEADER_SIZE));
    expect_flags(0, 1);
    EXPECT_EQ(file_bytes(), (Bytes{0x41, 0x01, 0x77, 0x07}));  // kept for the next start

    // The next start rejoins with what the file holds.
    fake_client::reset();
    brox_terminate(&session);
    ASSERT_EQ(brox_initialise(&session, release_msg), 1);
    brox_game_join(&session, "bot", "v1");
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(board::record_type(sent()[0]), MSG_REJOIN);
    EXPECT_EQ(sent_rejoin(sent()[0]).power, 0x0141);
    EXPECT_EQ(sent_rejoin(sent()[0]).passcode, 0x0777);
}

TEST_F(SessionFlow, ARejoinFileShorterThanFourBytesMeansAFreshJoin) {
    std::ofstream("broxgame.log", std::ios::binary).write("\x41\x03\xEF", 3);
    EXPECT_EQ(brox_game_join(&session, "bot", "v1"), 1);
    EXPECT_EQ(session.rejoining, 0);
    ASSERT_EQ(sent().size(), 1u);
    expect_request(sent()[0], MSG_JOIN, 137);
}

TEST_F(SessionFlow, RejoinRequestsStopAtTheFirstFailedSend) {
    const uint16_t requests[] = {MSG_ASSIGNMENT, MSG_CENTRE_OWNERSHIP, MSG_POSITION};
    for (int failing = 1; failing <= 3; failing++) {
        SCOPED_TRACE(failing);
        brox_terminate(&session);
        brox_initialise(&session, release_msg);
        std::ofstream("broxgame.log", std::ios::binary).write("\x01\x02\x03\x04", 4);
        brox_game_join(&session, "bot", "v1");
        deliver(message_of(MSG_REJOIN, REJOIN_LENGTH, FLAG_ACCEPT));
        deliver(map_name("TESTMAP"));
        fake_client::reset();
        fake_client::fail_send_at(failing);
        deliver(board.map_message());
        expect_flags(1, 1);  // a failed request does not end the session
        ASSERT_EQ(sent().size(), static_cast<size_t>(failing - 1));
        for (int r = 0; r < failing - 1; r++) EXPECT_EQ(board::record_type(sent()[r]), requests[r]);
    }
}

TEST_F(SessionFlow, RefusedRejoinDeletesTheFileThenJoinsAfresh) {
    for (uint8_t flag : {uint8_t{FLAG_REJECT}, uint8_t{FLAG_PLAIN}, uint8_t{0}}) {
        SCOPED_TRACE(static_cast<int>(flag));
        std::ofstream("broxgame.log", std::ios::binary).write("\x41\x03\xEF\xBE", 4);
        brox_game_join(&session, "bot", "v1");
        ASSERT_EQ(session.rejoining, 1);
        fake_client::reset();
        bool file_there_at_join = true;
        fake_client::on_send([&](const Bytes &record) {
            if (board::record_type(record) == MSG_JOIN) file_there_at_join = file_exists();
        });
        deliver(message_of(MSG_REJOIN, REJOIN_LENGTH, flag));
        expect_flags(1, 1);
        EXPECT_EQ(session.rejoining, 0);
        ASSERT_EQ(sent().size(), 1u);
        expect_request(sent()[0], MSG_JOIN, 137);
        EXPECT_STREQ(sent_join(sent()[0]).name, "bot");
        EXPECT_STREQ(sent_join(sent()[0]).version, "v1");
        EXPECT_FALSE(file_there_at_join);
    }
    // From here on a fresh join: the map name is answered.
    fake_client::reset();
    deliver(map_name("TESTMAP"));
    deliver(board.map_message());
    ASSERT_EQ(sent().size(), 2u);
    EXPECT_EQ(board::record_flag(sent()[1]), FLAG_ACCEPT);
}

TEST_F(SessionFlow, AMapThatCannotBeBuiltIsRefused) {
    brox_game_join(&session, "bot", "v1");
    uint8_t *name_record = deliver(map_name("HUGE"));
    board::MapDefinition too_many = board.definition;
    too_many.power_count = 21;
    fake_client::reset();
    deliver(too_many.bytes());
    expect_flags(1, 1);
    EXPECT_EQ(session.map, nullptr);
    ASSERT_EQ(sent().size(), 1u);
    expect_record(sent()[0], MSG_MAP_NAME, FLAG_REJECT, 17);
    EXPECT_EQ(released, std::vector<uint8_t *>{name_record});
}

// ---------------------------------------------------------------------------
// Dispatch tables and connection events
// ---------------------------------------------------------------------------

TEST_F(SessionFlow, KindsDecideBeforeTypes) {
    join_and_get_map();
    fake_client::reset();
    Map *map = session.map;
    Bytes message = map_name("X");
    const uint8_t kinds[] = {0, 1, 6, 255};
    for (uint8_t kind : kinds) {
        deliver_record(board::as_record(message, kind));
        expect_flags(1, 1);
    }
    for (uint8_t kind : {uint8_t{KIND_STOP_A}, uint8_t{KIND_STOP_B}}) {
        deliver_record(board::as_record(message, kind));
        expect_flags(0, 1);
    }
    EXPECT_TRUE(sent().empty());
    EXPECT_TRUE(fake_notice::shown().empty());
    EXPECT_EQ(session.map, map);
    EXPECT_EQ(session.map_name_msg, nullptr);
}

TEST_F(SessionFlow, ConnectionEventsShowTheirNoticeAndEndTheSession) {
    struct Row {
        uint16_t code;
        uint32_t status;
        int keep;
        const char *text;
    };
    const Row rows[] = {
        {EVENT_CONNECT, 0, 1, nullptr},
        {EVENT_CONNECT, 1, 0, CONNECTION_FAILURE},
        {EVENT_CONNECT, 0x80000000u, 0, CONNECTION_FAILURE},
        {EVENT_OUT_OF_MEMORY, 0, 0, OUT_OF_MEMORY},
        {EVENT_OUT_OF_MEMORY, 9, 0, OUT_OF_MEMORY},
        {EVENT_CONNECTION_LOST, 0, 0, CONNECTION_LOST},
        {EVENT_CONNECTION_LOST, 111, 0, CONNECTION_LOST},
        {2, 0, 0, nullptr},
        {4, 0, 0, nullptr},
        {0, 0, 0, nullptr},
        {0x0107, 0, 0, nullptr},  // only the 16-bit code counts, not its low byte
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << "code " << row.code << " status " << row.status);
        fake_notice::shown().clear();
        deliver_record(event(row.code, row.status));
        expect_flags(row.keep, 1);
        if (row.text)
            EXPECT_EQ(fake_notice::shown(), std::vector<std::string>{row.text});
        else
            EXPECT_TRUE(fake_notice::shown().empty());
    }
    EXPECT_TRUE(sent().empty());
}

TEST_F(SessionFlow, MessagesTheSessionDoesNotHandleAreLeftToTheBot) {
    join_and_get_map();
    deliver(board.centres("0: PAR"));
    fake_client::reset();
    Map *map = session.map;
    CentreTable *centres = session.centres;
    long live = test_memory::live_blocks();
    const uint16_t types[] = {MSG_JOIN, MSG_GOF, MSG_ORDERS, 0x0548, 0x1748, 0x0A49};
    for (uint16_t type : types) {
        deliver(message_of(type, 12));
        expect_flags(1, 1);
    }
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(session.map, map);
    EXPECT_EQ(session.centres, centres);
    EXPECT_EQ(test_memory::live_blocks(), live);
}

TEST_F(SessionFlow, SessionEndStopsAndKeepsTheRejoinFile) {
    deliver(assignment(0x0041, 0x0102));
    deliver(message_of(MSG_SESSION_END, MSG_HEADER_SIZE));
    expect_flags(0, 1);
    EXPECT_EQ(file_bytes(), (Bytes{0x41, 0x00, 0x02, 0x01}));
    for (uint8_t kind : {uint8_t{KIND_STOP_A}, uint8_t{KIND_STOP_B}}) {
        deliver_record(board::as_record(message_of(MSG_GAME_END, MSG_HEADER_SIZE), kind));
        EXPECT_TRUE(file_exists());  // a stop is not a game end
    }
    deliver_record(event(EVENT_CONNECTION_LOST, 0));
    EXPECT_TRUE(file_exists());
}

TEST_F(SessionFlow, AFailedDefinitionRequestEndsTheSessionAndReturnsTheRecord) {
    brox_game_join(&session, "bot", "v1");
    fake_client::fail_all_sends(true);
    deliver(map_name("TESTMAP"));
    expect_flags(0, 1);
    EXPECT_EQ(session.map_name_msg, nullptr);  // the bot's again, so not held
    fake_client::fail_all_sends(false);
    deliver(board.map_message());
    EXPECT_TRUE(released.empty());
    EXPECT_EQ(sent().size(), 1u);  // the join only: nothing to answer
}

// ---------------------------------------------------------------------------
// Messages out of order, too short, or repeated
// ---------------------------------------------------------------------------

TEST_F(SessionFlow, ADefinitionWithoutAKeptNameIsBuiltButNotAnswered) {
    brox_game_join(&session, "bot", "v1");
    deliver(board.map_message());
    expect_flags(1, 1);
    EXPECT_NE(session.map, nullptr);
    EXPECT_EQ(sent().size(), 1u);
    EXPECT_TRUE(released.empty());

    // Nor after the name has been answered and released once.
    uint8_t *name_record = deliver(map_name("TESTMAP"));
    deliver(board.map_message());
    deliver(board.map_message());
    EXPECT_EQ(sent().size(), 3u);
    EXPECT_EQ(released, std::vector<uint8_t *>{name_record});
}

TEST_F(SessionFlow, ASecondMapNameReleasesTheFirstAndIsTheOneAnswered) {
    brox_game_join(&session, "bot", "v1");
    uint8_t *first = deliver(map_name("FIRST"));
    EXPECT_TRUE(released.empty());
    uint8_t *second = deliver(map_name("SECOND"));
    EXPECT_EQ(release_record, 0);
    EXPECT_EQ(released, std::vector<uint8_t *>{first});
    EXPECT_EQ(session.map_name_msg, second);
    deliver(board.map_message());
    EXPECT_EQ(released, (std::vector<uint8_t *>{first, second}));
    ASSERT_EQ(sent().size(), 4u);
    EXPECT_EQ(sent_map_name(sent()[3]), "SECOND");
}

TEST_F(SessionFlow, PositionsAndOwnershipBeforeTheirMapAreIgnored) {
    long live = test_memory::live_blocks();
    deliver(board.centres("0: PAR"));
    expect_flags(1, 1);
    deliver(board.position(SEASON_SPRING, 1901, "0 A PAR"));
    expect_flags(1, 1);
    EXPECT_EQ(session.centres, nullptr);
    EXPECT_EQ(session.position, nullptr);
    EXPECT_EQ(test_memory::live_blocks(), live);

    join_and_get_map();
    deliver(board.position(SEASON_SPRING, 1901, "0 A PAR"));  // a Map but no ownership yet
    EXPECT_EQ(session.position, nullptr);
    deliver(board.centres("0: PAR"));
    deliver(board.position(SEASON_SPRING, 1901, "0 A PAR"));
    EXPECT_NE(session.position, nullptr);
}

TEST_F(SessionFlow, ShortMessagesAreNotReadPastTheirLength) {
    deliver(assignment(0x0141, 0x2222));
    ASSERT_TRUE(file_exists());

    // Shorter than its own header: not handled at all.
    const uint16_t types[] = {MSG_ASSIGNMENT, MSG_SESSION_END, MSG_GAME_END, MSG_MAP_NAME};
    for (uint16_t type : types) {
        deliver(message_of(type, 5));
        expect_flags(1, 1);
    }
    EXPECT_TRUE(file_exists());
    EXPECT_EQ(session.map_name_msg, nullptr);
    EXPECT_EQ(assignment_read(session.assignment).power, 0x0141);

    // An assignment of 20 bytes: those 20 are kept, the rest is zero.
    Bytes short_one = assignment(0x0241, 0x3333, 20);
    deliver(short_one);
    expect_flags(1, 1);
    EXPECT_EQ(Bytes(session.assignment, session.assignment + 20), short_one);
    EXPECT_EQ(Bytes(session.assignment + 20, session.assignment + 40), Bytes(20, 0));
    EXPECT_EQ(file_bytes(), (Bytes{0x41, 0x02, 0x33, 0x33}));

    // Too short to hold its passcode: kept, but the file is not rewritten.
    Bytes shorter = assignment(0x0341, 0, 9);
    deliver(shorter);
    EXPECT_EQ(Bytes(session.assignment, session.assignment + 9), shorter);
    EXPECT_EQ(Bytes(session.assignment + 9, session.assignment + 40), Bytes(31, 0));
    EXPECT_EQ(file_bytes(), (Bytes{0x41, 0x02, 0x33, 0x33}));

    // Ownership, position and map bodies too short for their counts.
    join_and_get_map();
    deliver(message_of(MSG_CENTRE_OWNERSHIP, MSG_HEADER_SIZE));
    ASSERT_NE(session.centres, nullptr);
    deliver(message_of(MSG_POSITION, 8));
    expect_flags(1, 1);
    EXPECT_EQ(session.position, nullptr);
    deliver(message_of(MSG_MAP_DEFINITION, 10));
    EXPECT_EQ(session.map, nullptr);
}

// ---------------------------------------------------------------------------
// Ownership
// ---------------------------------------------------------------------------

TEST_F(SessionFlow, ASecondPositionFreesTheFirst) {
    join_and_get_map();
    deliver(board.centres("0: PAR"));
    deliver(board.position(SEASON_SPRING, 1901, "0 A PAR; 1 A MUN"));
    Position *first = session.position;
    long with_one = test_memory::live_blocks();
    test_memory::log_releases(true);
    deliver(board.position(SEASON_SPRING, 1901, "0 A PAR; 1 A MUN"));
    ASSERT_FALSE(test_memory::released().empty());
    EXPECT_EQ(std::count(test_memory::released().begin(), test_memory::released().end(), first), 1);
    EXPECT_EQ(test_memory::live_blocks(), with_one);
    EXPECT_EQ(session.centres->ref_count, 2);
}

TEST_F(SessionFlow, ASecondOwnershipReleasesTheSessionsReference) {
    join_and_get_map();
    deliver(board.centres("0: PAR"));
    CentreTable *first = session.centres;
    deliver(board.position(SEASON_SPRING, 1901, "0 A PAR"));
    EXPECT_EQ(first->ref_count, 2);

    deliver(board.centres("1: MUN"));
    CentreTable *second = session.centres;
    ASSERT_NE(second, first);
    EXPECT_EQ(first->ref_count, 1);  // the Position still holds the first table
    EXPECT_EQ(second->ref_count, 1);

    test_memory::log_releases(true);
    auto was_released = [](const void *block) {
        const std::vector<const void *> &log = test_memory::released();
        return std::find(log.begin(), log.end(), block) != log.end();
    };
    deliver(board.centres("0: BRE"));
    EXPECT_TRUE(was_released(second));  // only the session held it
    EXPECT_FALSE(was_released(first));
    deliver(board.position(SEASON_SPRING, 1901, "0 A PAR"));
    EXPECT_TRUE(was_released(first));  // its last holder, the old Position, is gone
    EXPECT_EQ(session.centres->ref_count, 2);
}

TEST_F(SessionFlow, ANewMapReleasesWhatWasBuiltOnTheOldOne) {
    join_and_get_map();
    long with_map = test_memory::live_blocks();
    Map *old_map = session.map;
    deliver(board.centres("0: PAR"));
    deliver(board.position(SEASON_SPRING, 1901, "0 A PAR"));
    test_memory::log_releases(true);
    deliver(board.map_message());
    EXPECT_NE(session.map, nullptr);
    EXPECT_EQ(session.centres, nullptr);
    EXPECT_EQ(session.position, nullptr);
    EXPECT_EQ(test_memory::live_blocks(), with_map);
    ASSERT_FALSE(test_memory::released().empty());
    EXPECT_EQ(test_memory::released().back(), old_map);

    // And a definition that fails to build still lets go of the old Map.
    deliver(board.centres("0: PAR"));
    board::MapDefinition too_many = board.definition;
    too_many.power_count = 21;
    deliver(too_many.bytes());
    EXPECT_EQ(session.map, nullptr);
    EXPECT_EQ(session.centres, nullptr);
    EXPECT_EQ(test_memory::live_blocks(), live_before);
}

TEST_F(SessionFlow, TerminateReleasesOwnershipThenPositionThenTheMap) {
    join_and_get_map();
    deliver(board.centres("0: PAR"));
    deliver(board.position(SEASON_SPRING, 1901, "0 A PAR"));
    uint8_t *pending_name = deliver(map_name("NEXT"));
    const void *map = session.map;
    const void *position = session.position;
    const void *centres = session.centres;
    released.clear();
    test_memory::log_releases(true);
    brox_terminate(&session);
    const std::vector<const void *> &order = test_memory::released();
    auto at = [&](const void *block) { return std::find(order.begin(), order.end(), block); };
    ASSERT_NE(at(centres), order.end());
    ASSERT_NE(at(position), order.end());
    ASSERT_FALSE(order.empty());
    EXPECT_EQ(order.back(), map);  // both earlier releases read the Map
    EXPECT_LT(at(centres), at(position));  // the table goes with the Position's reference
    EXPECT_EQ(test_memory::live_blocks(), live_before);
    EXPECT_EQ(released, std::vector<uint8_t *>{pending_name});
    EXPECT_EQ(session.map, nullptr);
    EXPECT_EQ(session.position, nullptr);
    EXPECT_EQ(session.centres, nullptr);
    brox_terminate(&session);  // a second call finds nothing to release
}

TEST_F(SessionFlow, InitialiseClearsEverythingButTheAssignment) {
    Session fresh;
    std::memset(&fresh, 0xC3, sizeof fresh);
    EXPECT_EQ(brox_initialise(&fresh, release_msg), 1);
    EXPECT_EQ(fresh.map_name_msg, nullptr);
    EXPECT_EQ(fresh.map, nullptr);
    EXPECT_EQ(fresh.position, nullptr);
    EXPECT_EQ(fresh.centres, nullptr);
    EXPECT_EQ(fresh.release_msg, &release_msg);
    EXPECT_EQ(fresh.rejoining, 0);
    EXPECT_EQ(fresh.name, nullptr);
    EXPECT_EQ(fresh.version, nullptr);
    EXPECT_EQ(Bytes(fresh.assignment, fresh.assignment + 40), Bytes(40, 0xC3));
}

TEST_F(SessionFlow, RunningOutOfMemoryAnywhereInTheFlowLeaksNothing) {
    for (long n = 1;; n++) {
        SCOPED_TRACE(n);
        brox_terminate(&session);
        brox_initialise(&session, release_msg);
        std::filesystem::remove("broxgame.log");
        fake_client::reset();
        long before = test_memory::live_blocks();
        test_memory::fail_at(n);
        brox_game_join(&session, "bot", "v1");
        deliver(map_name("TESTMAP"));
        deliver(board.map_message());
        deliver(board.centres("0: PAR BRE; 1: MUN"));
        deliver(board.position(SEASON_SPRING, 1901, "0 A PAR; 0 F BRE; 1 A MUN"));
        deliver(board.centres("0: PAR"));
        deliver(board.position(SEASON_WINTER, 1901, "0 A PAR; 0 F BRE; 1 A MUN"));
        bool failed = test_memory::failed();
        test_memory::fail_at(0);
        brox_terminate(&session);
        EXPECT_EQ(test_memory::live_blocks(), before);
        if (!failed) break;
    }
}

}  // namespace
