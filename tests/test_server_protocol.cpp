// The local game server's handling of bots' records, driven record by
// record without sockets: sessions of the library join, rejoin and play
// through it, a deadline resolves a phase without a silent bot, and
// malformed records close only the link that sent them.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "brox.h"
#include "common/bytes.h"
#include "doubles.h"
#include "temp_dir.h"
#include "tools/server/bot_protocol.h"
#include "tools/server/game.h"
#include "tools/server/game_record.h"
#include "tools/server/messages.h"

namespace {

void release_copy(uint8_t *record) { delete[] record; }

uint16_t type_of(const Record &record) { return get_u16(record.data(), 1); }

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
    uint16_t power_token() const { return get_u16(session.assignment, 6); }
};

class ServerProtocol : public ::testing::Test {
  protected:
    ~ServerProtocol() override { release(); }

    void start(int players, int years = 1) {
        ServerOptions options;
        options.players = players;
        options.years = years;
        options.out = "out";
        options.verbosity = Verbosity::QUIET;
        options.passcode_seed = 12345;
        options.deadline_ms = 1000;
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
                bot.delivered.push_back(type_of(record));
                brox_process_msg(&bot.session, copy, &keep, &release_record);
                if (type_of(record) == MSG_POSITION) bot.positions++;
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

    void join(Bot &bot) {
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

Record rejoin_record(uint16_t power_token, uint16_t passcode) {
    Record record = record_new(MSG_REJOIN, REJOIN_LENGTH, FLAG_PLAIN);
    put_u16(record.data() + 1, ASSIGNMENT_POWER_FIELD, power_token);
    put_u16(record.data() + 1, ASSIGNMENT_PASSCODE_FIELD, passcode);
    return record;
}

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
    EXPECT_EQ(get_u16(first.session.assignment, 8), game.seats[0].passcode);
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
    // The record: spring and fall 1901, then the final spring 1902.
    std::ifstream record("out/" + std::string(GAME_RECORD_FILE));
    std::vector<std::string> lines;
    for (std::string line; std::getline(record, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 3u);
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

TEST_F(ServerProtocol, APowerWhoseBotWentSilentHoldsWhenTheDeadlinePasses) {
    start(2);
    Bot first, second;
    join(first);
    join(second);
    exchange(first);
    fake_client::reset();
    brox_order_submit(nullptr, second.session.position, second.power_token());
    exchange(second);
    // Power 0's bot has sent nothing: the phase waits for it...
    game_tick(&game, game.now_ms + 999);
    EXPECT_EQ(game.position->season, SEASON_SPRING);
    // ...until the deadline, even once the bot has gone.
    game_link_closed(&game, first.link);
    EXPECT_EQ(game.position->season, SEASON_SPRING);
    game_tick(&game, game.now_ms + 1000);
    EXPECT_EQ(game.position->season, SEASON_FALL);
    exchange(second);
    EXPECT_EQ(second.session.position->season, SEASON_FALL);
    EXPECT_EQ(second.positions, 2);
}

// Gives power 0 the first `count` supply centres of the map in the game's
// current ownership, as if it had taken them.
void give_centres(Game &game, uint16_t count) {
    CentreList *list = game.centres->lists[0];
    list->count = 0;
    for (uint16_t i = 0; i < game.map->province_count && list->count < count; i++)
        if (game.map->provinces[i].centre_kind != CENTRE_NONE) list->provinces[list->count++] = i;
}

TEST_F(ServerProtocol, HalfTheSupplyCentresIsNotEnoughToEndTheGame) {
    start(1, 5);
    Bot only;
    join(only);
    ASSERT_EQ(game.map->centre_count, 34);
    give_centres(game, 17);
    fake_client::reset();
    brox_order_submit(nullptr, only.session.position, only.power_token());
    exchange(only);
    EXPECT_EQ(game.stage, GameStage::PLAYING);
    EXPECT_EQ(game.position->season, SEASON_FALL);
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

    uint32_t other = game_link_open(&game);
    EXPECT_EQ(take(other, rejoin_record(token, passcode)), RecordVerdict::KEEP);
    ASSERT_EQ(game.links[other].outbox.size(), 1u);
    EXPECT_EQ(game.links[other].outbox[0][5], FLAG_REJECT);  // its bot is still there

    game_link_closed(&game, first.link);
    EXPECT_EQ(game.seats[0].link, -1);
    take(other, rejoin_record(token, static_cast<uint16_t>(passcode + 1)));
    take(other, rejoin_record(static_cast<uint16_t>(token + 1), passcode));  // another low byte
    take(other, rejoin_record(static_cast<uint16_t>(token + 0x100), passcode)); // another power
    ASSERT_EQ(game.links[other].outbox.size(), 4u);
    for (const Record &answer : game.links[other].outbox) EXPECT_EQ(answer[5], FLAG_REJECT);
    EXPECT_EQ(game.links[other].power, -1);

    // A new session in the same directory finds the rejoin file.
    Bot again;
    again.link = game_link_open(&game);
    fake_client::reset();
    brox_game_join(&again.session, "test bot", "1.0");
    ASSERT_EQ(fake_client::sent().size(), 1u);
    EXPECT_EQ(type_of(fake_client::sent()[0]), MSG_REJOIN);
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
    EXPECT_EQ(take(link, record_new(MSG_GOF, 12, FLAG_PLAIN)), RecordVerdict::KEEP);
    EXPECT_EQ(take(link, record_new(MSG_MAP_DEFINITION, 16, FLAG_PLAIN)), RecordVerdict::KEEP);
    EXPECT_EQ(take(link, record_new(MSG_POSITION, 12, FLAG_PLAIN)), RecordVerdict::KEEP);
    EXPECT_EQ(take(link, record_new(MSG_MAP_NAME, 16, FLAG_ACCEPT)), RecordVerdict::KEEP);
    EXPECT_TRUE(game.links[link].outbox.empty());

    // Closed: not a message record, a size that is not length + 1, a join
    // or rejoin of the wrong length, orders whose count does not fit.
    Record event = {KIND_EVENT, 0, 0, 0, 0, 1, 0};
    EXPECT_EQ(take(link, event), RecordVerdict::CLOSE);
    Record join = record_new(MSG_JOIN, JOIN_LENGTH, FLAG_PLAIN);
    EXPECT_EQ(server_take_record(&game, link, join.data(), join.size() - 1), RecordVerdict::CLOSE);
    EXPECT_EQ(take(link, record_new(MSG_JOIN, 100, FLAG_PLAIN)), RecordVerdict::CLOSE);
    EXPECT_EQ(take(link, record_new(MSG_REJOIN, 12, FLAG_PLAIN)), RecordVerdict::CLOSE);
    Record orders = record_new(MSG_ORDERS, 8 + 244, FLAG_SUBMIT);
    put_u16(orders.data() + 1, 6, 2);
    EXPECT_EQ(take(link, orders), RecordVerdict::CLOSE);
    EXPECT_EQ(take(link, record_new(MSG_ORDERS, 7, FLAG_SUBMIT)), RecordVerdict::CLOSE);
    EXPECT_TRUE(game.links[link].outbox.empty());
    EXPECT_EQ(game.seats[0].assigned, false);

    // A link that is closed, or unknown, has nothing taken from it.
    game_link_closed(&game, link);
    EXPECT_EQ(take(link, record_new(MSG_GOF, 12, FLAG_PLAIN)), RecordVerdict::CLOSE);
    EXPECT_EQ(take(link + 1, record_new(MSG_GOF, 12, FLAG_PLAIN)), RecordVerdict::CLOSE);
}

TEST_F(ServerProtocol, ABotThatRefusesTheMapIsLetGoAndItsPowerFreed) {
    start(2);
    uint32_t link = game_link_open(&game);
    Record join = record_new(MSG_JOIN, JOIN_LENGTH, FLAG_PLAIN);
    std::memcpy(join.data() + 1 + JOIN_NAME_FIELD, "picky\x01", 6);
    ASSERT_EQ(take(link, join), RecordVerdict::KEEP);
    ASSERT_EQ(game.links[link].outbox.size(), 2u);
    EXPECT_EQ(type_of(game.links[link].outbox[0]), MSG_ASSIGNMENT);
    EXPECT_EQ(game.seats[0].bot_name, "picky?");  // control bytes are not kept
    Record answer = game.links[link].outbox[1];
    ASSERT_EQ(type_of(answer), MSG_MAP_NAME);
    answer[5] = FLAG_REJECT;
    EXPECT_EQ(take(link, answer), RecordVerdict::KEEP);
    EXPECT_EQ(type_of(game.links[link].outbox.back()), MSG_SESSION_END);
    EXPECT_TRUE(game.links[link].close_when_sent);
    EXPECT_FALSE(game.seats[0].assigned);

    // The next bot gets the freed power; the name it sends back must be the
    // map's own for it to be ready.
    uint32_t next = game_link_open(&game);
    take(next, join);
    EXPECT_EQ(game.links[next].power, 0);
    Record renamed = game.links[next].outbox[1];
    renamed[5] = FLAG_ACCEPT;
    renamed[1 + MAP_NAME_FIELD] ^= 0x20;
    take(next, renamed);
    EXPECT_EQ(game.links[next].state, LinkState::CONNECTED);
}

}  // namespace
