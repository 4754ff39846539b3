// The local game server's handling of bots' records, driven record by
// record without sockets: sessions of the library join, rejoin and play
// through it, a deadline resolves a phase without a silent bot, and
// malformed records close only the link that sent them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "board.h"
#include "brox.h"
#include "common/bytes.h"
#include "common/event_record.h"
#include "common/record.h"
#include "doubles.h"
#include "orders/orders_message.h"
#include "platform/phase_tag.h"
#include "platform/seat_secret.h"
#include "session/gof_message.h"
#include "world/map_message.h"
#include "world/position_message.h"
#include "temp_dir.h"
#include "tools/common/json_value.h"
#include "tools/server/bot_protocol.h"
#include "tools/mapgen/random.h"
#include "tools/server/game.h"
#include "tools/server/game_record.h"
#include "tools/server/links.h"
#include "tools/server/messages.h"
#include "tools/server/notation.h"
#include "tools/server/record_files.h"

namespace {

void release_copy(uint8_t *record) { delete[] record; }

using board::record_flag;
using board::record_set_flag;
using board::record_type;

// A bot on the library's session, connected to the game through one link.
struct Bot {
    Bot() { brox_initialise(&session, release_copy); }
    ~Bot() { brox_terminate(&session); }
    Bot(const Bot &) = delete;
    Bot &operator=(const Bot &) = delete;

    Session session;
    uint32_t link = 0;
    bool running = true;
    std::vector<uint16_t> delivered;  // types of the records the server sent, in order
    int positions = 0;                // position messages delivered
    uint16_t power_token() const { return assignment_read(session.assignment).power; }
};

class ServerProtocol : public ::testing::Test {
  protected:
    ~ServerProtocol() override { release(); }

    void start(int players, int years = 1, const std::function<void(ServerOptions &)> &adjust = {}) {
        ServerOptions options;
        options.players = players;
        options.years = years;
        options.out = "out";
        options.verbosity = Verbosity::QUIET;
        options.passcode_seed = 12345;
        options.deadline_ms = 1000;
        if (adjust) adjust(options);
        std::string error;
        ASSERT_TRUE(game_init(&game, options, &error)) << error;
    }

    void release() {
        if (released) return;
        game_release(&game);
        released = true;
    }

    // Delivers what the server has for the bot to its session, then hands
    // what the session sent to the server, until neither has anything.
    void exchange(Bot &bot) {
        for (int round = 0; round < 20; round++) {
            std::vector<Record> inbox = std::move(game.links[bot.link].outbox);
            game.links[bot.link].outbox.clear();
            for (const Record &record : inbox) {
                if (!bot.running) break;  // a bot leaves its loop when told to
                auto *copy = new uint8_t[record.size()];
                std::memcpy(copy, record.data(), record.size());
                int keep = 1, release_record = 1;
                bot.delivered.push_back(record_type(record));
                brox_process_msg(&bot.session, copy, &keep, &release_record);
                if (record_type(record) == MSG_POSITION) bot.positions++;
                if (!keep) bot.running = false;
                if (release_record) delete[] copy;
            }
            std::vector<Record> sent = std::move(fake_client::sent());
            fake_client::sent().clear();
            for (const Record &record : sent)
                EXPECT_EQ(server_take_record(&game, bot.link, record.data(), record.size()), RecordVerdict::KEEP);
            if (inbox.empty() && sent.empty()) return;
        }
        ADD_FAILURE() << "the exchange did not settle";
    }

    // Every bot of these tests works in the same directory; each joins
    // afresh, as a bot in a directory of its own would.
    void join(Bot &bot) {
        std::filesystem::remove("broxgame.log");
        bot.link = game_link_open(&game);
        fake_client::reset();
        brox_game_join(&bot.session, "test bot", "1.0");
        exchange(bot);
    }

    RecordVerdict take(uint32_t link, const Record &record) {
        return server_take_record(&game, link, record.data(), record.size());
    }

    TempDir dir;  // the rejoin file and the outputs
    Game game;
    bool released = false;
};

Record rejoin_record(uint16_t power_token, uint16_t passcode) { return board::rejoin_record(power_token, passcode); }

// The record's lines after its first, the map line.
std::vector<std::string> record_lines() {
    std::ifstream record("out/" + std::string(GAME_RECORD_FILE));
    std::vector<std::string> lines;
    for (std::string line; std::getline(record, line);) lines.push_back(line);
    if (!lines.empty() && lines.front().rfind("{\"map\":true,", 0) == 0) lines.erase(lines.begin());
    return lines;
}

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

// ---------------------------------------------------------------------------
// Joining and playing
// ---------------------------------------------------------------------------

TEST_F(ServerProtocol, SessionsJoinAcceptTheMapAndReceiveTheFirstPhaseOnceAllAreReady) {
    start(2);
    Bot first, second;
    join(first);
    EXPECT_EQ(first.delivered, (std::vector<uint16_t>{MSG_ASSIGNMENT, MSG_MAP_NAME, MSG_MAP_DEFINITION}));
    ASSERT_NE(first.session.map, nullptr);
    EXPECT_EQ(first.session.map->power_count, 7);
    EXPECT_EQ(first.power_token() >> 8, 0);
    EXPECT_EQ(assignment_read(first.session.assignment).passcode, game.seats[0].passcode);
    EXPECT_NE(game.seats[0].passcode, 0);
    EXPECT_EQ(game.stage, GameStage::WAITING);
    EXPECT_EQ(first.session.position, nullptr);

    join(second);
    exchange(first);
    EXPECT_EQ(game.stage, GameStage::PLAYING);
    EXPECT_EQ(second.power_token() >> 8, 1);
    EXPECT_EQ(game.seats[1].bot_name, "test bot");
    for (Bot *bot : {&first, &second}) {
        ASSERT_NE(bot->session.position, nullptr);
        EXPECT_EQ(bot->session.position->season, SEASON_SPRING);
        EXPECT_EQ(bot->session.position->year, 1901);
        EXPECT_EQ(bot->session.position->unit_count, 22);
        EXPECT_EQ(bot->delivered.back(), MSG_POSITION);
    }
}

TEST_F(ServerProtocol, OrdersOfTheAwaitedPowersResolveEachPhaseUntilTheGameEnds) {
    long blocks_before = test_memory::live_blocks();
    start(2, 1);
    {
        Bot first, second;
        join(first);
        join(second);
        exchange(first);
        // Both bots hold with everything: spring, fall, no adjustments, and
        // the one year is over at the next spring.
        int submitted[2] = {0, 0};
        for (int round = 0; round < 10 && (first.running || second.running); round++) {
            Bot *bots[2] = {&first, &second};
            for (int b = 0; b < 2; b++) {
                Bot &bot = *bots[b];
                if (bot.running && bot.positions > submitted[b]) {
                    submitted[b] = bot.positions;
                    fake_client::reset();
                    brox_order_submit(nullptr, bot.session.position, bot.power_token());
                }
                exchange(bot);
            }
        }
        EXPECT_FALSE(first.running);
        EXPECT_FALSE(second.running);
        EXPECT_EQ(submitted[0], 2);  // spring and fall 1901
        EXPECT_EQ(first.delivered.back(), MSG_GAME_END);
        EXPECT_EQ(game.stage, GameStage::OVER);
        EXPECT_TRUE(game.links[first.link].close_when_sent);
        EXPECT_FALSE(std::filesystem::exists("broxgame.log"));
    }
    // The record: the map line, spring and fall 1901, then the final
    // spring 1902.
    std::ifstream record("out/" + std::string(GAME_RECORD_FILE));
    std::vector<std::string> lines;
    for (std::string line; std::getline(record, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].rfind("{\"map\":true,\"name\":\"standard\",\"layout\":{\"width\":", 0), 0u);
    lines.erase(lines.begin());
    EXPECT_NE(lines[0].find("\"year\":1901,\"season\":\"spring\""), std::string::npos);
    EXPECT_NE(lines[1].find("\"season\":\"fall\""), std::string::npos);
    EXPECT_NE(lines[2].find("\"final\":true"), std::string::npos);
    EXPECT_NE(lines[2].find("\"year\":1902,\"season\":\"spring\""), std::string::npos);
    EXPECT_GT(std::filesystem::file_size("out/" + std::string(FINAL_BOARD_FILE)), 1000u);
    // Every order held, each phase has its picture, and the replay page
    // shows the two phases and the final position.
    EXPECT_NE(lines[0].find("\"order\":\"A "), std::string::npos);
    EXPECT_EQ(lines[0].find("\"outcome\":\"moved\""), std::string::npos);
    EXPECT_NE(lines[0].find("\"outcome\":\"held\",\"dislodged\":false"), std::string::npos);
    EXPECT_NE(lines[0].find("\"dislodgements\":[]"), std::string::npos);
    EXPECT_NE(lines[1].find("\"picture\":\"phases/0002-1901-fall.svg\""), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists("out/phases/0001-1901-spring.svg"));
    EXPECT_TRUE(std::filesystem::exists("out/phases/0002-1901-fall.svg"));
    std::ifstream page("out/replay.html");
    std::string html((std::istreambuf_iterator<char>(page)), std::istreambuf_iterator<char>());
    EXPECT_NE(html.find("\"title\":\"Fall 1901\""), std::string::npos);
    EXPECT_NE(html.find("\"title\":\"Spring 1902\""), std::string::npos);
    EXPECT_EQ(html.find("</script>", html.find("id=\"replay-data\"")), html.find("</script>\n<script>"));
    release();
    EXPECT_EQ(test_memory::live_blocks(), blocks_before);
}

TEST_F(ServerProtocol, ASilentBotIsAwaitedUntilTheDeadlineButABotThatHasGoneIsNot) {
    start(3, 2);
    Bot first, second, third;
    join(first);
    join(second);
    join(third);
    exchange(first);
    exchange(second);
    auto submit = [&](Bot &bot) {
        exchange(bot);
        fake_client::reset();
        brox_order_submit(nullptr, bot.session.position, bot.power_token());
        exchange(bot);
    };
    submit(second);
    submit(third);
    // Power 0's bot is connected but has sent nothing: the phase waits for
    // it until the deadline.
    game_tick(&game, game.now_ms + 999);
    EXPECT_EQ(game_position(&game)->season, SEASON_SPRING);
    game_tick(&game, game.now_ms + 1);
    ASSERT_EQ(game_position(&game)->season, SEASON_FALL);

    // In the fall its bot leaves: once the others have sent their orders,
    // the phase is resolved at once, with power 0's defaults...
    submit(second);
    game_link_closed(&game, first.link);
    EXPECT_EQ(game_position(&game)->season, SEASON_FALL);
    submit(third);
    EXPECT_EQ(game_position(&game)->season, SEASON_SPRING);
    EXPECT_EQ(game_position(&game)->year, 1902);
    EXPECT_EQ(game.seats[0].link, -1);
    // ...and so is every later phase, until the bot rejoins.
    submit(second);
    submit(third);
    EXPECT_EQ(game_position(&game)->season, SEASON_FALL);

    // With no bot connected at all the phase runs to its deadline, so that
    // the game does not race to its end while the bots restart.
    int64_t opened = game.now_ms;
    game_link_closed(&game, second.link);
    game_link_closed(&game, third.link);
    EXPECT_EQ(game_position(&game)->season, SEASON_FALL);
    EXPECT_EQ(game.stage, GameStage::PLAYING);
    game_tick(&game, opened + 999);
    EXPECT_EQ(game_position(&game)->season, SEASON_FALL);
    game_tick(&game, opened + 1000);
    EXPECT_EQ(game.stage, GameStage::OVER);
}

// The client library's tag for orders chosen on the position of `season`
// and `year`, as a record.
Record phase_tag(uint16_t season, uint16_t year) {
    Record record = record_new(MSG_ORDERS_PHASE, PHASE_TAG_LENGTH, FLAG_PLAIN);
    phase_tag_write(record_message(record.data()), {season, year});
    return record;
}

// A bot too slow for its deadline sends its spring orders while the fall
// is played: they are refused as orders for an earlier phase, the fall
// still waits for its orders, and nothing of the spring's is applied.
TEST_F(ServerProtocol, OrdersThatArriveAfterTheirPhaseAreRefusedAndNeverApplied) {
    start(2, 1);
    Bot slow, quick;
    join(slow);
    join(quick);
    exchange(slow);
    ASSERT_EQ(game_position(&game)->season, SEASON_SPRING);
    // The slow bot chooses moves for the spring; they are not sent yet.
    for (uint16_t u = 0; u < slow.session.position->unit_count; u++) {
        Unit *unit = slow.session.position->units[u];
        if (unit->power != 0) continue;
        for (Order *order = brox_candidate_first(unit); order; order = brox_candidate_next(unit, order))
            if (order->token == ORD_MOVE) unit->order = *order;
    }
    fake_client::reset();
    brox_order_submit(nullptr, slow.session.position, slow.power_token());
    ASSERT_EQ(fake_client::sent().size(), 1u);
    Record late = fake_client::sent()[0];
    fake_client::reset();
    brox_order_submit(nullptr, quick.session.position, quick.power_token());
    exchange(quick);
    game_tick(&game, game.now_ms + 1000);  // the spring's deadline
    ASSERT_EQ(game_position(&game)->season, SEASON_FALL);

    EXPECT_EQ(take(slow.link, phase_tag(SEASON_SPRING, 1901)), RecordVerdict::KEEP);
    EXPECT_EQ(take(slow.link, late), RecordVerdict::KEEP);
    fake_client::reset();
    brox_order_submit(nullptr, quick.session.position, quick.power_token());
    exchange(quick);
    // Still the fall: power 0's orders for it have not come.
    EXPECT_EQ(game_position(&game)->season, SEASON_FALL);
    EXPECT_EQ(brox_referee_orders_received(game.referee, 0), 0);
    // Its fall orders, tagged with the fall, are taken at once.
    exchange(slow);
    EXPECT_EQ(take(slow.link, phase_tag(SEASON_FALL, 1901)), RecordVerdict::KEEP);
    fake_client::reset();
    brox_order_submit(nullptr, slow.session.position, slow.power_token());
    ASSERT_EQ(fake_client::sent().size(), 1u);
    EXPECT_EQ(take(slow.link, fake_client::sent()[0]), RecordVerdict::KEEP);
    EXPECT_EQ(game.stage, GameStage::OVER);

    std::vector<std::string> lines = record_lines();
    ASSERT_EQ(lines.size(), 3u);
    JsonValue spring, fall;
    ASSERT_TRUE(json_parse(lines[0], &spring, nullptr));
    ASSERT_TRUE(json_parse(lines[1], &fall, nullptr));
    // The spring: power 0 sent nothing in time and held throughout.
    int power_orders = 0;
    for (const JsonValue &order : spring["orders"].items) {
        if (order["power"].integer() != 0) continue;
        power_orders++;
        EXPECT_EQ(order["from"].text, "default");
        EXPECT_EQ(order["outcome"].text, "held");
    }
    EXPECT_GT(power_orders, 0);
    EXPECT_EQ(spring["powers"][0]["refused"].integer(), 0);
    // The fall: every late entry refused with its reason, the fall's own
    // orders taken.
    const JsonValue &power = fall["powers"][0];
    EXPECT_TRUE(power["orders_received"].boolean);
    EXPECT_EQ(power["refused"].integer(), power_orders);
    ASSERT_EQ(power["refusals"].items.size(), static_cast<size_t>(power_orders));
    for (const JsonValue &refusal : power["refusals"].items)
        EXPECT_EQ(refusal["reason"].text, "orders for an earlier phase");
    for (const JsonValue &order : fall["orders"].items) {
        if (order["power"].integer() != 0) continue;
        EXPECT_EQ(order["from"].text, "bot");
    }
}

// Gives power 0 the first `count` supply centres of the map in the game's
// current ownership, as if it had taken them.
void give_centres(Game &game, uint16_t count) {
    CentreList *list = game_position(&game)->centres->lists[0];
    list->count = 0;
    for (uint16_t i = 0; i < game_map(&game)->province_count && list->count < count; i++)
        if (game_map(&game)->provinces[i].centre_kind != CENTRE_NONE) list->provinces[list->count++] = i;
}

TEST_F(ServerProtocol, HalfTheSupplyCentresIsNotEnoughToEndTheGame) {
    start(1, 5);
    Bot only;
    join(only);
    ASSERT_EQ(game_map(&game)->centre_count, 34);
    give_centres(game, 17);
    fake_client::reset();
    brox_order_submit(nullptr, only.session.position, only.power_token());
    exchange(only);
    EXPECT_EQ(game.stage, GameStage::PLAYING);
    EXPECT_EQ(game_position(&game)->season, SEASON_FALL);
}

TEST_F(ServerProtocol, TheGameEndsOnceOnePowerOwnsMoreThanHalfTheSupplyCentres) {
    start(1, 5);
    Bot only;
    join(only);
    give_centres(game, 18);
    fake_client::reset();
    brox_order_submit(nullptr, only.session.position, only.power_token());
    exchange(only);
    EXPECT_EQ(game.stage, GameStage::OVER);
    EXPECT_FALSE(only.running);
    std::ifstream record("out/" + std::string(GAME_RECORD_FILE));
    std::string line, last;
    while (std::getline(record, line)) last = line;
    EXPECT_NE(last.find("\"reason\":\"one power owns more than half the supply centres\""), std::string::npos)
        << last;
}

// ---------------------------------------------------------------------------
// Rejoining
// ---------------------------------------------------------------------------

TEST_F(ServerProtocol, ARejoinIsAcceptedOnlyWithThePasscodeOfAPowerWhoseBotHasGone) {
    start(1);
    Bot first;
    join(first);
    ASSERT_EQ(game.stage, GameStage::PLAYING);
    uint16_t token = first.power_token();
    uint16_t passcode = game.seats[0].passcode;

    // A refused rejoin is answered, and its connection is closed once the
    // answer has gone: nothing it sends after the rejoin is read, not even
    // the right passcode.
    auto refused = [&](uint16_t tried_token, uint16_t tried_passcode) {
        uint32_t link = game_link_open(&game, "127.0.0.1:40000");
        EXPECT_EQ(take(link, rejoin_record(tried_token, tried_passcode)), RecordVerdict::KEEP);
        EXPECT_EQ(take(link, rejoin_record(token, passcode)), RecordVerdict::KEEP);
        ASSERT_EQ(game.links[link].outbox.size(), 1u);
        EXPECT_EQ(record_flag(game.links[link].outbox[0]), FLAG_REJECT);
        EXPECT_TRUE(game.links[link].close_when_sent);
        EXPECT_EQ(game.links[link].power, -1);
        game_link_closed(&game, link);
    };
    refused(token, passcode);  // its bot is still there
    game_link_closed(&game, first.link);
    EXPECT_EQ(game.seats[0].link, -1);
    refused(token, static_cast<uint16_t>(passcode + 1));
    refused(static_cast<uint16_t>(token + 1), passcode);      // another low byte
    refused(static_cast<uint16_t>(token + 0x100), passcode);  // another power
    EXPECT_EQ(game.seats[0].link, -1);

    // A new session in the same directory finds the rejoin file.
    Bot again;
    again.link = game_link_open(&game);
    fake_client::reset();
    brox_game_join(&again.session, "test bot", "1.0");
    ASSERT_EQ(fake_client::sent().size(), 1u);
    EXPECT_EQ(record_type(fake_client::sent()[0]), MSG_REJOIN);
    exchange(again);
    EXPECT_EQ(again.delivered, (std::vector<uint16_t>{MSG_REJOIN, MSG_MAP_NAME, MSG_MAP_DEFINITION, MSG_ASSIGNMENT,
                                                      MSG_CENTRE_OWNERSHIP, MSG_POSITION}));
    EXPECT_EQ(again.session.rejoining, 1);
    EXPECT_EQ(again.power_token(), token);
    ASSERT_NE(again.session.position, nullptr);
    EXPECT_EQ(game.seats[0].link, static_cast<int>(again.link));
}

// ---------------------------------------------------------------------------
// Malformed and unexpected records
// ---------------------------------------------------------------------------

TEST_F(ServerProtocol, MalformedRecordsCloseTheLinkAndUnexpectedOnesAreIgnored) {
    start(2);
    uint32_t link = game_link_open(&game);
    // Ignored: a message type a bot has no reason to send, requests before
    // joining, a map-name answer before any map name.
    EXPECT_EQ(take(link, record_new(MSG_GOF, GOF_LENGTH, FLAG_PLAIN)), RecordVerdict::KEEP);
    EXPECT_EQ(take(link, record_new(MSG_MAP_DEFINITION, static_cast<uint16_t>(map_message_size(0, 0)), FLAG_PLAIN)), RecordVerdict::KEEP);
    EXPECT_EQ(take(link, record_new(MSG_POSITION, static_cast<uint16_t>(position_message_size(0)), FLAG_PLAIN)), RecordVerdict::KEEP);
    EXPECT_EQ(take(link, record_new(MSG_MAP_NAME, MAP_NAME_MIN_LENGTH, FLAG_ACCEPT)), RecordVerdict::KEEP);
    EXPECT_TRUE(game.links[link].outbox.empty());

    // Closed: not a message record, a size that is not length + 1, a join
    // or rejoin of the wrong length, orders whose count does not fit.
    EventRecord connected = event_record_make({0, EVENT_CONNECT});
    Record event(connected.begin(), connected.end());
    EXPECT_EQ(take(link, event), RecordVerdict::CLOSE);
    Record join = record_new(MSG_JOIN, JOIN_LENGTH, FLAG_PLAIN);
    EXPECT_EQ(server_take_record(&game, link, join.data(), join.size() - 1), RecordVerdict::CLOSE);
    EXPECT_EQ(take(link, record_new(MSG_JOIN, 100, FLAG_PLAIN)), RecordVerdict::CLOSE);
    EXPECT_EQ(take(link, record_new(MSG_REJOIN, 12, FLAG_PLAIN)), RecordVerdict::CLOSE);
    Record orders = record_new(MSG_ORDERS, static_cast<uint16_t>(orders_message_size(1)), FLAG_SUBMIT);
    put_u16(record_message(orders.data()), ORDERS_COUNT_AT, 2);
    EXPECT_EQ(take(link, orders), RecordVerdict::CLOSE);
    EXPECT_EQ(take(link, record_new(MSG_ORDERS, 7, FLAG_SUBMIT)), RecordVerdict::CLOSE);
    EXPECT_EQ(take(link, record_new(MSG_ORDERS_PHASE, PHASE_TAG_LENGTH - 2, FLAG_PLAIN)), RecordVerdict::CLOSE);
    EXPECT_TRUE(game.links[link].outbox.empty());
    EXPECT_EQ(game.seats[0].assigned, false);

    // A link that is closed, or unknown, has nothing taken from it.
    game_link_closed(&game, link);
    EXPECT_EQ(take(link, record_new(MSG_GOF, GOF_LENGTH, FLAG_PLAIN)), RecordVerdict::CLOSE);
    EXPECT_EQ(take(link + 1, record_new(MSG_GOF, GOF_LENGTH, FLAG_PLAIN)), RecordVerdict::CLOSE);
}

TEST_F(ServerProtocol, ABotThatRefusesTheMapIsLetGoAndItsPowerFreed) {
    start(2);
    uint32_t link = game_link_open(&game);
    Record join = board::join_record("picky\x01", "");
    ASSERT_EQ(take(link, join), RecordVerdict::KEEP);
    ASSERT_EQ(game.links[link].outbox.size(), 2u);
    EXPECT_EQ(record_type(game.links[link].outbox[0]), MSG_ASSIGNMENT);
    EXPECT_EQ(game.seats[0].bot_name, "picky?");  // control bytes are not kept
    Record answer = game.links[link].outbox[1];
    ASSERT_EQ(record_type(answer), MSG_MAP_NAME);
    record_set_flag(answer, FLAG_REJECT);
    EXPECT_EQ(take(link, answer), RecordVerdict::KEEP);
    EXPECT_EQ(record_type(game.links[link].outbox.back()), MSG_SESSION_END);
    EXPECT_TRUE(game.links[link].close_when_sent);
    EXPECT_FALSE(game.seats[0].assigned);

    // The next bot gets the freed power; the name it sends back must be the
    // map's own for it to be ready.
    uint32_t next = game_link_open(&game);
    take(next, join);
    EXPECT_EQ(game.links[next].power, 0);
    Record renamed = game.links[next].outbox[1];
    record_set_flag(renamed, FLAG_ACCEPT);
    record_message(renamed.data())[MAP_NAME_AT] ^= 0x20;
    take(next, renamed);
    EXPECT_EQ(game.links[next].state, LinkState::CONNECTED);
}

// ---------------------------------------------------------------------------
// Limits against hostile clients
// ---------------------------------------------------------------------------

constexpr int64_t MINUTE_MS = 60 * 1000;
constexpr int64_t HOUR_MS = 60 * MINUTE_MS;

// Phases that never reach their deadline while days of tries go by.
void long_deadline(ServerOptions &options) { options.deadline_ms = 30 * 24 * HOUR_MS; }

class RejoinLimits : public ServerProtocol {
  protected:
    // One try at a rejoin on a connection of its own, as the server
    // demands: the answer's flag once it comes (the clock moving on to the
    // try's turn meanwhile), or 0 when the connection is closed without an
    // answer.  A refused connection is then closed.
    uint8_t try_rejoin(const std::string &peer, uint16_t token, uint16_t passcode) {
        uint32_t link = game_link_open(&game, peer);
        take(link, rejoin_record(token, passcode));
        while (game.links[link].state == LinkState::HELD) {
            EXPECT_TRUE(game.links[link].outbox.empty()) << "answered before its turn";
            int64_t wait = game_wait_ms(&game);
            if (wait <= 0) {
                ADD_FAILURE() << "a held rejoin with nothing to wait for";
                return 0;
            }
            game_tick(&game, game.now_ms + wait);
        }
        if (game.links[link].state == LinkState::CLOSED || game.links[link].outbox.empty()) return 0;
        uint8_t flag = record_flag(game.links[link].outbox[0]);
        if (flag != FLAG_ACCEPT) game_link_closed(&game, link);
        last_link = link;
        return flag;
    }

    uint32_t last_link = 0;
};

TEST_F(RejoinLimits, GuessingAPasscodeTakesWeeksWhileTheBotItselfIsBackWithinAMinute) {
    start(2, 1, long_deadline);
    Bot first, second;
    join(first);
    join(second);
    exchange(first);
    uint16_t token = first.power_token();
    uint16_t passcode = game.seats[0].passcode;
    game_link_closed(&game, first.link);

    // A day of tries at power 0's passcode, each answered as soon as the
    // server lets it: 4 at once, 6 more in the first 63 s, then one a
    // minute.
    int64_t began = game.now_ms;
    int tries = 0;
    uint16_t guess = 0;
    while (game.now_ms - began < 24 * HOUR_MS) {
        if (++guess == passcode) ++guess;
        ASSERT_EQ(try_rejoin("127.0.0.1:40000", token, guess), FLAG_REJECT) << tries;
        tries++;
    }
    EXPECT_EQ(tries, 10 + (24 * HOUR_MS - 63000) / MINUTE_MS + 1);
    // 32768 tries find a 16-bit passcode on average: three weeks at this pace.
    EXPECT_GT(32768.0 / tries, 21);
    EXPECT_EQ(game.seats[0].link, -1);

    // While one try waits its turn, another for the same power is closed
    // without an answer, even with the right passcode.
    uint32_t waiting = game_link_open(&game, "127.0.0.1:40001");
    take(waiting, rejoin_record(token, 1));
    ASSERT_EQ(game.links[waiting].state, LinkState::HELD);
    uint32_t second_try = game_link_open(&game, "127.0.0.1:40002");
    take(second_try, rejoin_record(token, passcode));
    EXPECT_EQ(game.links[second_try].state, LinkState::CLOSED);
    EXPECT_EQ(game.seats[0].link, -1);
    game_link_closed(&game, waiting);

    // The bot itself, restarted with its rejoin file, waits for the turn
    // that the last try earned (at most a minute) and is taken back.
    int64_t asked = game.now_ms;
    EXPECT_EQ(try_rejoin("127.0.0.1:40003", token, passcode), FLAG_ACCEPT);
    EXPECT_LE(game.now_ms - asked, MINUTE_MS);
    EXPECT_EQ(game.seats[0].link, static_cast<int>(last_link));
    // Taken back, the power's count starts over: its next rejoin is
    // weighed at once.
    game_link_closed(&game, last_link);
    asked = game.now_ms;
    EXPECT_EQ(try_rejoin("127.0.0.1:40004", token, passcode), FLAG_ACCEPT);
    EXPECT_EQ(game.now_ms, asked);

    // The record names the connection that was closed without an answer.
    int limited = 0;
    for (const std::string &line : record_lines())
        limited += contains(line, "\"dropped\":true,\"year\":1901,\"season\":\"spring\",\"seat\":0,"
                                  "\"peer\":\"127.0.0.1:40002\",\"reason\":\"rejoin-limit\","
                                  "\"detail\":\"a rejoin as power 0 already waits its turn\"}");
    EXPECT_EQ(limited, 1);
}

TEST_F(RejoinLimits, TriesAtSeveralPowersFromOneAddressShareItsCount) {
    start(4, 1, long_deadline);
    Bot bots[4];
    for (Bot &bot : bots) join(bot);
    exchange(bots[0]);
    uint16_t tokens[3];
    for (int p = 0; p < 3; p++) {
        tokens[p] = bots[p].power_token();
        game_link_closed(&game, bots[p].link);
    }
    // An hour of tries at three powers in turn: from one address they get
    // 21 at once and then about one a minute; from an address per try,
    // each power's own count lets through three times as many.
    auto hour_of_tries = [&](bool one_address) {
        int64_t began = game.now_ms;
        int tries = 0;
        while (game.now_ms - began < HOUR_MS) {
            std::string peer = one_address ? "10.0.0.1:5000" : "10.1." + std::to_string(tries / 200) + "." +
                                                                   std::to_string(tries % 200) + ":5000";
            uint16_t wrong = static_cast<uint16_t>(game.seats[tries % 3].passcode + 1);
            EXPECT_EQ(try_rejoin(peer, tokens[tries % 3], wrong ? wrong : 1), FLAG_REJECT);
            tries++;
        }
        return tries;
    };
    int from_one = hour_of_tries(true);
    EXPECT_GE(from_one, 21 + 6 + 57);
    EXPECT_LE(from_one, 21 + 6 + 59);
    int from_many = hour_of_tries(false);
    EXPECT_GE(from_many, 3 * 58);
}

// Seats with secrets, as a tournament presets them: one per power.
class SeatSecrets : public RejoinLimits {
  protected:
    const std::vector<std::string> secrets = {"first-seat-secret-0123", "second-seat-secret-4567"};

    void start_with_secrets() {
        {
            std::ofstream file("secrets.txt");
            for (const std::string &secret : secrets) file << secret << "\n";
        }
        start(2, 1, [](ServerOptions &options) {
            long_deadline(options);
            options.seat_secrets = "secrets.txt";
        });
    }

    static Record secret_record(const std::string &secret) {
        Record record(RECORD_MESSAGE_AT + SEAT_SECRET_AT + secret.size());
        record[RECORD_KIND_AT] = KIND_MESSAGE;
        seat_secret_write(record_message(record.data()), secret.data(), secret.size());
        return record;
    }

    // A session that sends `secret` first, as the client library does from
    // BROX_SEAT_SECRET; it rejoins when the rejoin file is there.
    void join_with(Bot &bot, const std::string &secret, bool keep_rejoin_file = false) {
        if (!keep_rejoin_file) std::filesystem::remove("broxgame.log");
        bot.link = game_link_open(&game, "127.0.0.1:41000");
        take(bot.link, secret_record(secret));
        fake_client::reset();
        brox_game_join(&bot.session, "test bot", "1.0");
        exchange(bot);
    }

    // A rejoin on a connection of its own, optionally after a secret:
    // true when it was answered at once with a refusal and let go.
    bool refused_at_once(uint16_t token, uint16_t passcode, const std::string &secret = "") {
        uint32_t link = game_link_open(&game, "127.0.0.1:40000");
        if (!secret.empty()) take(link, secret_record(secret));
        take(link, rejoin_record(token, passcode));
        bool refused = game.links[link].outbox.size() == 1 && record_flag(game.links[link].outbox[0]) == FLAG_REJECT &&
                       game.links[link].close_when_sent;
        game_link_closed(&game, link);
        return refused;
    }
};

TEST_F(SeatSecrets, TheBotWithItsSeatsSecretIsBackAtOnceWhateverOthersSendAndNoPasscodeOpensTheSeat) {
    start_with_secrets();
    Bot second, first;
    join_with(second, secrets[1]);  // the secret, not the order of joining, chooses the seat
    join_with(first, secrets[0]);
    exchange(second);
    ASSERT_EQ(game.stage, GameStage::PLAYING);
    EXPECT_EQ(second.power_token(), power_token(1));
    EXPECT_EQ(first.power_token(), power_token(0));
    uint16_t token = first.power_token();
    uint16_t passcode = game.seats[0].passcode;
    game_link_closed(&game, first.link);

    // Every passcode, the right one too, without the secret or with a wrong
    // one: each refused at once, none held, and the clock never moves.
    int64_t began = game.now_ms;
    for (uint32_t guess = 0; guess <= 0xFFFF; guess++)
        ASSERT_TRUE(refused_at_once(token, static_cast<uint16_t>(guess))) << guess;
    EXPECT_TRUE(refused_at_once(token, passcode, secrets[1]));
    EXPECT_TRUE(refused_at_once(token, passcode, "first-seat-secret-0124"));
    EXPECT_TRUE(game.held_rejoins.empty());
    EXPECT_EQ(game.seats[0].link, -1);

    // A rejoin of the bot's own is taken back at once.
    Bot again;
    join_with(again, secrets[0], true);
    EXPECT_EQ(again.session.rejoining, 1);
    EXPECT_EQ(game.seats[0].link, static_cast<int>(again.link));
    EXPECT_EQ(game.now_ms, began);
    ASSERT_NE(again.session.position, nullptr);

    // Started again before its old connection was seen to close, and
    // without its rejoin file: the secret's join gives way to it with the
    // same passcode, and the old connection is dropped.
    Bot third;
    join_with(third, secrets[0]);
    EXPECT_EQ(third.power_token(), token);
    EXPECT_EQ(game.seats[0].passcode, passcode);
    EXPECT_EQ(game.seats[0].link, static_cast<int>(third.link));
    EXPECT_EQ(game.links[third.link].state, LinkState::READY);
    EXPECT_EQ(game.links[again.link].state, LinkState::CLOSED);
    EXPECT_EQ(game.now_ms, began);
}

TEST_F(SeatSecrets, AJoinTakesOnlyTheSeatOfItsSecret) {
    start_with_secrets();
    // Without a secret, with an unknown one, or with one of a size the
    // server refuses: let go with no seat.
    auto let_go = [&](const std::string &secret) {
        uint32_t link = game_link_open(&game, "127.0.0.1:40000");
        if (!secret.empty()) take(link, secret_record(secret));
        take(link, board::join_record("hostile", ""));
        EXPECT_EQ(game.links[link].power, -1) << secret;
        EXPECT_TRUE(game.links[link].close_when_sent) << secret;
        game_link_closed(&game, link);
    };
    let_go("");
    let_go("no-seat-has-this-secret");
    let_go(secrets[0].substr(0, 15));
    let_go(secrets[0] + std::string(SEAT_SECRET_MAX, 'x'));
    EXPECT_FALSE(game.seats[0].assigned);
    EXPECT_FALSE(game.seats[1].assigned);

    // A bot that joins twice with its secret only ever holds its own seat.
    Bot hostile, other;
    join_with(hostile, secrets[1]);
    uint32_t twice = game_link_open(&game, "127.0.0.1:40001");
    take(twice, secret_record(secrets[1]));
    take(twice, board::join_record("hostile", ""));
    EXPECT_EQ(game.links[twice].power, 1);
    EXPECT_FALSE(game.seats[0].assigned);
    join_with(other, secrets[0]);
    EXPECT_EQ(other.power_token(), power_token(0));
}

TEST_F(SeatSecrets, WithoutPresetsASeatIsBoundToTheSecretItsBotJoinedWith) {
    start(2, 1, long_deadline);
    Bot bound, open;
    join_with(bound, secrets[0]);
    join(open);
    exchange(bound);
    ASSERT_EQ(game.stage, GameStage::PLAYING);
    uint16_t passcode0 = game.seats[0].passcode, passcode1 = game.seats[1].passcode;
    game_link_closed(&game, bound.link);
    game_link_closed(&game, open.link);
    // The bound seat refuses its passcode alone; the other seat keeps the
    // rejoin limits and takes its passcode.
    EXPECT_TRUE(refused_at_once(power_token(0), passcode0));
    EXPECT_EQ(try_rejoin("127.0.0.1:40002", power_token(1), passcode1), FLAG_ACCEPT);
    Bot again;
    join_with(again, secrets[0]);  // the rejoin file here is the other bot's
    EXPECT_EQ(again.power_token(), power_token(0));
    EXPECT_EQ(game.seats[0].link, static_cast<int>(again.link));
}

TEST_F(SeatSecrets, ASecretsFileIsCheckedBeforeTheGameStarts) {
    auto refused = [&](const std::string &text) {
        std::ofstream("bad.txt") << text;
        ServerOptions options;
        options.out = "out";
        options.verbosity = Verbosity::QUIET;
        options.seat_secrets = "bad.txt";
        Game other;
        std::string error;
        bool ok = game_init(&other, options, &error);
        game_release(&other);
        return !ok && contains(error, "--seat-secrets");
    };
    EXPECT_TRUE(refused("too-short\n"));
    EXPECT_TRUE(refused(secrets[0] + "\n" + secrets[0] + "\n"));  // the same twice
    EXPECT_TRUE(refused("a secret with spaces in it\n"));
    EXPECT_TRUE(refused(""));
    std::string lines;
    for (int p = 0; p <= MAX_POWERS; p++) lines += secrets[0] + std::to_string(p) + "\n";
    EXPECT_TRUE(refused(lines));  // more than any map's powers
}

TEST_F(ServerProtocol, MapDefinitionsAreAnsweredTwiceAPhaseAndALoopOfRequestsClosesItsConnection) {
    start(2, 2);
    Bot looping, honest;
    join(looping);
    join(honest);
    exchange(looping);
    ASSERT_EQ(game.stage, GameStage::PLAYING);
    Record request = record_new(MSG_MAP_DEFINITION, static_cast<uint16_t>(map_message_size(0, 0)), FLAG_PLAIN);
    // The join asked once; a second is answered, in each phase anew.
    auto answered = [&](Bot &bot) {
        game.links[bot.link].outbox.clear();
        take(bot.link, request);
        return game.links[bot.link].outbox.size() == 1 && record_type(game.links[bot.link].outbox[0]) == MSG_MAP_DEFINITION;
    };
    EXPECT_TRUE(answered(honest));
    for (int phase = 0; phase < 2; phase++) {
        game_tick(&game, game.now_ms + game.options.deadline_ms);  // the next phase
        EXPECT_TRUE(answered(honest));
        EXPECT_TRUE(answered(honest));
    }
    EXPECT_EQ(game.links[honest.link].state, LinkState::READY);

    // A loop of requests: the bytes sent stop at the allowance, and the
    // connection is closed with its reason recorded.
    game.links[looping.link].outbox.clear();
    size_t sent = 0;
    for (int n = 0; n < 1000 && game.links[looping.link].state != LinkState::CLOSED; n++) {
        take(looping.link, request);
        for (const Record &record : game.links[looping.link].outbox) sent += record.size();
        game.links[looping.link].outbox.clear();
    }
    EXPECT_EQ(game.links[looping.link].state, LinkState::CLOSED);
    EXPECT_EQ(game.seats[0].link, -1);
    EXPECT_EQ(sent, 2 * (game.generated.map_message.size() + 1));  // a phase later than the join's
    int limited = 0;
    for (const std::string &line : record_lines())
        limited += contains(line, "\"reason\":\"request-limit\",\"detail\":\"asked for the map definition more than 2 "
                                  "times in one phase\"");
    EXPECT_EQ(limited, 1);
}

TEST_F(ServerProtocol, WhenEveryPlaceIsTakenAFloodFromOneAddressEvictsItsOwnConnectionsFirst) {
    start(2);
    std::vector<uint32_t> waiting;
    waiting.push_back(game_link_open(&game, "127.0.0.1:40001"));  // an honest bot, about to join
    for (int n = 0; n < 5; n++) waiting.push_back(game_link_open(&game, "127.0.0.2:" + std::to_string(50000 + n)));
    waiting.push_back(game_link_open(&game, "127.0.0.1:40002"));
    EXPECT_EQ(link_to_make_room(&game, waiting), waiting[1]);  // the flood's oldest, not the oldest of all
    // With addresses equal in number, the oldest goes.
    std::vector<uint32_t> even = {waiting[0], waiting[1], waiting[6], waiting[2]};
    EXPECT_EQ(link_to_make_room(&game, even), waiting[0]);
    EXPECT_EQ(link_to_make_room(&game, {}), -1);
    EXPECT_EQ(peer_address("[::1]:5000"), "[::1]");
}

TEST_F(ServerProtocol, ConnectionsThatDoNotComeToPlayInTimeAreDroppedAndRecorded) {
    start(2, 1, [](ServerOptions &options) { options.limits.handshake_timeout_ms = 5000; });
    uint32_t silent = game_link_open(&game, "127.0.0.1:40001");
    uint32_t slow = game_link_open(&game, "127.0.0.1:40002");
    Record join_request = record_new(MSG_JOIN, JOIN_LENGTH, FLAG_PLAIN);
    ASSERT_EQ(take(slow, join_request), RecordVerdict::KEEP);  // joins, never accepts the map
    uint32_t picky = game_link_open(&game, "127.0.0.1:40003");
    take(picky, join_request);
    Record refusal = game.links[picky].outbox.back();
    record_set_flag(refusal, FLAG_REJECT);
    take(picky, refusal);  // refuses the map, is let go, keeps its connection open
    ASSERT_TRUE(game.links[picky].close_when_sent);
    Bot ready;
    join(ready);
    EXPECT_EQ(ready.power_token() >> 8, 1);

    game_tick(&game, game.now_ms + 4999);
    for (uint32_t link : {silent, slow, picky}) EXPECT_NE(game.links[link].state, LinkState::CLOSED);
    game_tick(&game, game.now_ms + 1);
    for (uint32_t link : {silent, slow, picky}) EXPECT_EQ(game.links[link].state, LinkState::CLOSED);
    EXPECT_EQ(game.links[ready.link].state, LinkState::READY);
    EXPECT_FALSE(game.seats[0].assigned);  // free again before the start
    EXPECT_EQ(game_wait_ms(&game), -1);    // nothing left to time

    std::vector<std::string> lines = record_lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "{\"dropped\":true,\"year\":1901,\"season\":\"spring\",\"seat\":null,"
                        "\"peer\":\"127.0.0.1:40001\",\"reason\":\"handshake-timeout\","
                        "\"detail\":\"did not join and accept the map within 5.0 s\"}");
    EXPECT_TRUE(contains(lines[1], "\"seat\":0,\"peer\":\"127.0.0.1:40002\",\"reason\":\"handshake-timeout\""));
    EXPECT_TRUE(contains(lines[2], "\"seat\":null,\"peer\":\"127.0.0.1:40003\",\"reason\":\"map-refused\","
                                   "\"detail\":\"the bot refused the map; the connection stayed open\"}"));
}

TEST_F(ServerProtocol, LogAndRecordLinesAboutConnectionsWithoutAPowerAreCappedAndTheRestCounted) {
    start(1, 1, [](ServerOptions &options) {
        options.verbosity = Verbosity::VERBOSE;
        options.limits.log_lines = 5;
    });
    std::FILE *log = std::tmpfile();
    ASSERT_NE(log, nullptr);
    game.log = log;
    Bot only;
    join(only);
    const int flood = RECORD_DROPS_WITHOUT_SEAT + 5;
    for (int n = 0; n < flood; n++) {
        uint32_t link = game_link_open(&game, "127.0.0.1:" + std::to_string(20000 + n));
        std::string why;
        ASSERT_EQ(server_take_record(&game, link, record_new(MSG_JOIN, 100, FLAG_PLAIN).data(), 101, &why),
                  RecordVerdict::CLOSE);
        game_link_drop(&game, link, "malformed", why);
    }
    // The power's own lines are counted apart: its bot's leaving shows.
    game_link_drop(&game, only.link, "closed", "the bot closed the connection");
    game_stop(&game);

    std::rewind(log);
    std::string text;
    for (int c; (c = std::fgetc(log)) != EOF;) text += static_cast<char>(c);
    std::fclose(log);
    game.log = nullptr;
    size_t shown = 0;
    for (size_t at = 0; (at = text.find("connection from 127.0.0.1:", at)) != std::string::npos; at++) shown++;
    EXPECT_EQ(shown, 5u) << text;
    EXPECT_TRUE(contains(text, "dropped, malformed: malformed record: a join message of 100 bytes\n")) << text;
    EXPECT_TRUE(contains(text, "(log limit: further lines about connections without a power are counted, not shown)"));
    EXPECT_TRUE(contains(text, "log limit: " + std::to_string(flood - 5) +
                                   " more lines about connections without a power were not shown"));
    EXPECT_TRUE(contains(text, "power 0 (")) << text;
    EXPECT_TRUE(contains(text, "connection dropped, closed: the bot closed the connection")) << text;

    std::vector<std::string> lines = record_lines();
    int recorded = 0;
    for (const std::string &line : lines) recorded += contains(line, "\"seat\":null,\"peer\":\"127.0.0.1:2");
    EXPECT_EQ(recorded, RECORD_DROPS_WITHOUT_SEAT);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_TRUE(contains(lines[lines.size() - 3], "\"seat\":0,\"peer\":\"\",\"reason\":\"closed\""));
    EXPECT_EQ(lines[lines.size() - 2],
              "{\"dropped\":true,\"year\":1901,\"season\":\"spring\",\"seat\":null,\"peer\":\"\","
              "\"reason\":\"malformed\",\"detail\":\"5 more connections dropped for this reason were counted, "
              "not recorded one by one\"}");
    EXPECT_TRUE(contains(lines.back(), "\"final\":true"));
}

// ---------------------------------------------------------------------------
// The same game in-process
// ---------------------------------------------------------------------------

std::vector<Order *> candidates_of(Unit *unit) {
    std::vector<Order *> all;
    for (Order *order = brox_candidate_first(unit); order; order = brox_candidate_next(unit, order)) all.push_back(order);
    return all;
}

// A bot's orders for its own units, drawn from their candidates: mostly
// moves and supports; in winter exactly the removals due and builds in
// distinct provinces (now and then a waive).
void draw_orders(Position *position, uint16_t power, mapgen::Random &random) {
    std::vector<Unit *> slots;
    std::vector<Unit *> removable;
    for (uint16_t u = 0; u < position->unit_count; u++) {
        Unit *unit = position->units[u];
        if (unit->power != power) continue;
        if (!unit->location) {
            slots.push_back(unit);
            continue;
        }
        std::vector<Order *> all = candidates_of(unit);
        if (position->season == SEASON_WINTER) {
            if (!all.empty()) removable.push_back(unit);
            continue;
        }
            std::vector<Order *> active;
        for (Order *order : all)
            if (order->token == ORD_MOVE || order->token == ORD_SUPPORT || order->token == ORD_RETREAT) active.push_back(order);
        const std::vector<Order *> &from = active.empty() || random.one_in(5) ? all : active;
        if (!from.empty()) unit->order = *from[random.below(static_cast<uint32_t>(from.size()))];
    }
    if (position->adjustment[power] < 0) {
        random.shuffle(removable);
        for (int r = 0; r < -position->adjustment[power] && r < static_cast<int>(removable.size()); r++)
            for (Order *order : candidates_of(removable[static_cast<size_t>(r)]))
                if (order->token == ORD_REMOVE) removable[static_cast<size_t>(r)]->order = *order;
    }
    if (slots.empty()) return;
    std::vector<Order *> builds;
    for (Order *order : candidates_of(slots[0]))
        if (order->token == ORD_BUILD) builds.push_back(order);
    random.shuffle(builds);
    std::vector<const ProvinceState *> used;
    for (Unit *slot : slots)
        for (Order *build : builds) {
            if (std::find(used.begin(), used.end(), build->target->province) != used.end()) continue;
            used.push_back(build->target->province);
            if (!random.one_in(6)) slot->order = *build;
            break;
        }
}

// The candidate of unit u (for a build slot, of its power's first slot)
// whose notation is `text`, or null.
Order *candidate_named(const Notation &names, Position *position, uint16_t u, const std::string &text) {
    Unit *unit = position->units[u];
    Unit *holder = unit;
    if (!unit->location)
        for (uint16_t s = 0; s < position->unit_count; s++)
            if (position->units[s]->power == unit->power && !position->units[s]->location) {
                holder = position->units[s];
                break;
            }
    for (Order *order : candidates_of(holder))
        if (order_text(names, unit, *order) == text) return order;
    return nullptr;
}

// Seven bots play four years on the server, sending the library's orders
// messages; then the orders of the record are given to a referee
// in-process, candidate by candidate, and the record written from it is
// the server's, line by line.
TEST_F(ServerProtocol, TheSameOrdersPlayedInProcessGiveTheSameRecord) {
    start(7, 4);
    Bot bots[7];
    for (Bot &bot : bots) join(bot);
    for (Bot &bot : bots) exchange(bot);
    ASSERT_EQ(game.stage, GameStage::PLAYING);
    mapgen::Random random(99);
    int ordered[7] = {};
    for (int round = 0; round < 400 && game.stage == GameStage::PLAYING; round++)
        for (int b = 0; b < 7; b++) {
            Bot &bot = bots[b];
            if (bot.running && bot.session.position && bot.positions > ordered[b]) {
                ordered[b] = bot.positions;
                draw_orders(bot.session.position, static_cast<uint16_t>(bot.power_token() >> 8), random);
                fake_client::reset();
                brox_order_submit(nullptr, bot.session.position, bot.power_token());
            }
            exchange(bot);
        }
    ASSERT_EQ(game.stage, GameStage::OVER);
    std::vector<std::string> lines = record_lines();
    ASSERT_GE(lines.size(), 9u);  // at least spring and fall of four years, and the final line

    GeneratedMap map = mapgen_default();
    const char *error = nullptr;
    BroxReferee *referee =
        brox_referee_new(map.map_message.data(), map.map_message.size(), map.centres_message.data(),
                         map.centres_message.size(), map.position_message.data(), map.position_message.size(), &error);
    ASSERT_NE(referee, nullptr) << error;
    ASSERT_EQ(brox_referee_set_years(referee, 4), 1);
    BotNames names(7, "test bot");
    int retreats = 0, builds = 0;
    for (size_t l = 0; l + 1 < lines.size(); l++) {
        JsonValue line;
        ASSERT_TRUE(json_parse(lines[l], &line, nullptr)) << lines[l];
        Position *position = brox_referee_position(referee);
        Notation notation{map.layout, position->map};
        ASSERT_EQ(line["orders"].items.size(), position->unit_count) << lines[l];
        for (uint16_t u = 0; u < position->unit_count; u++) {
            const JsonValue &order = line["orders"][u];
            if (order["from"].text != "bot") continue;
            Order *candidate = candidate_named(notation, position, u, order["order"].text);
            ASSERT_NE(candidate, nullptr) << order["order"].text;
            EXPECT_EQ(brox_referee_order(referee, u, candidate, nullptr), 1) << order["order"].text;
            retreats += candidate->token == ORD_RETREAT;
            builds += candidate->token == ORD_BUILD;
        }
        ASSERT_EQ(brox_referee_step(referee), 1);
        EXPECT_EQ(game_record_phase_line(referee, map.layout, names, line["picture"].text), lines[l]);
    }
    JsonValue final;
    ASSERT_TRUE(json_parse(lines.back(), &final, nullptr));
    EXPECT_EQ(brox_referee_over(referee), END_LAST_YEAR);
    EXPECT_EQ(game_record_final_line(referee, map.layout, names, brox_end_text(brox_referee_over(referee)),
                                     FINAL_BOARD_FILE),
              lines.back());
    // The game saw a retreat and builds.
    EXPECT_GT(retreats, 0);
    EXPECT_GT(builds, 0);
    brox_referee_free(referee);
}

}  // namespace
