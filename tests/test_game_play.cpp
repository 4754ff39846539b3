// Whole games over real TCP on loopback: the brox-server command and the
// example bots run as processes, each in a directory of its own.  A short
// game between seven bots, twenty bots on a map of 300 provinces, a bot
// stopped and restarted in the middle of a game, a client that sends
// illegal orders and malformed frames, and hostile clients: a passcode
// thief, clients that ask without reading or never read, 300 idle
// connections, a bot that crashes.  Each game's record is kept in
// BROX_GAME_RECORDS_DIR for the schema and replay-page tests.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "board.h"
#include "brox.h"
#include "common/assignment_message.h"
#include "common/record.h"
#include "game_run.h"
#include "orders/orders_message.h"
#include "platform/wire.h"
#include "process.h"
#include "session/gof_message.h"
#include "session/join_message.h"
#include "tools/server/limits.h"
#include "wire_stream.h"
#include "world/map_message.h"
#include "world/position_message.h"
#include "world/season.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

std::unique_ptr<ChildProcess> start_bot(const Workspace &space, const Server &server, const std::string &name,
                                        const std::string &log_name, const std::string &steps = "8") {
    fs::create_directories(space / name);
    return std::make_unique<ChildProcess>(
        std::vector<std::string>{BROX_BOT_PATH, "-i", "127.0.0.1", "-p", std::to_string(server.port), "--steps",
                                 steps, "--name", name},
        space / name, space / name + "/" + log_name);
}

// Keeps the game's record as `name`.jsonl (or with `whole_folder` the
// whole output folder as `name`/) for the tests that read records later.
void keep_record(const Workspace &space, const std::string &name, bool whole_folder = false) {
    fs::path kept(BROX_GAME_RECORDS_DIR);
    std::error_code ignored;
    fs::create_directories(kept, ignored);
    fs::remove_all(kept / name, ignored);
    if (whole_folder)
        fs::copy(space / "out", kept / name, fs::copy_options::recursive, ignored);
    else
        fs::copy_file(space / "out/game.jsonl", kept / (name + ".jsonl"), fs::copy_options::overwrite_existing,
                      ignored);
    EXPECT_FALSE(ignored) << "cannot keep the record in " << kept << ": " << ignored.message();
}

// Checks shared by every game: each power whose orders were due and that
// has a bot (other than `absent_power`) got them from its bot, and after
// each winter every power that made all its builds or removals has as many
// units as centres.
void expect_orders_and_adjustments(const std::vector<JsonValue> &record, int absent_power = -1) {
    ASSERT_GE(record.size(), 2u);
    EXPECT_TRUE(record.back()["final"].boolean);
    for (size_t i = 0; i + 1 < record.size(); i++) {
        const JsonValue &phase = record[i];
        std::string when = std::to_string(phase["year"].integer()) + " " + phase["season"].text;
        for (const JsonValue &power : phase["powers"].items) {
            if (power["power"].integer() == absent_power || power["bot"].text.empty()) continue;
            if (power["orders_due"].boolean) {
                EXPECT_TRUE(power["orders_received"].boolean) << when;
            }
        }
        if (phase["season"].text != "winter") continue;
        for (const JsonValue &power : phase["powers"].items) {
            int p = power["power"].integer();
            int adjustment = power["adjustment"].integer();
            bool complete = adjustment >= 0 ? power["builds"].integer() == adjustment
                                            : power["removals"].integer() == -adjustment;
            if (!complete) continue;
            EXPECT_EQ(record[i + 1]["powers"][static_cast<size_t>(p)]["units"].integer(), power["centres"].integer())
                << when << ", power " << p;
        }
    }
}

// ---------------------------------------------------------------------------
// A short game
// ---------------------------------------------------------------------------

TEST(GamePlay, SevenExampleBotsPlayTwoYears) {
    Workspace space;
    Server server(space, {"--years", "2", "--deadline", "60"});
    ASSERT_NE(server.port, 0) << read_text(server.log);
    std::vector<std::unique_ptr<ChildProcess>> bots;
    for (int b = 0; b < BOT_COUNT; b++) bots.push_back(start_bot(space, server, "bot" + std::to_string(b), "bot.log"));

    EXPECT_EQ(server.process->wait(GAME_MS), 0) << read_text(server.log);
    for (int b = 0; b < BOT_COUNT; b++) {
        std::string log = space / ("bot" + std::to_string(b) + "/bot.log");
        EXPECT_EQ(bots[static_cast<size_t>(b)]->wait(EXIT_MS), 0) << read_text(log);
        EXPECT_NE(read_text(log).find("brox_bot: game over"), std::string::npos);
        EXPECT_FALSE(fs::exists(space / ("bot" + std::to_string(b) + "/broxgame.log")));
    }

    keep_record(space, "seven-bots", true);
    std::vector<JsonValue> record = game_record(space);
    expect_orders_and_adjustments(record);
    ASSERT_FALSE(record.empty());
    EXPECT_EQ(record.back()["year"].integer(), 1903);
    EXPECT_EQ(record.back()["season"].text, "spring");
    int winters = 0;
    for (const JsonValue &phase : record) {
        winters += phase["season"].text == "winter";
        // The example bots only send legal orders.
        for (const JsonValue &power : phase["powers"].items) EXPECT_EQ(power["refused"].integer(), 0);
    }
    EXPECT_GE(winters, 1);
    EXPECT_GT(fs::file_size(space / "out/final-board.svg"), 1000u);
    EXPECT_NE(read_text(space / "out/centres.txt").find("Supply centres by power and year"), std::string::npos);

    // The record alone gives the same replay: brox-replay writes the page
    // and every picture byte for byte as the server did.
    ChildProcess replay({BROX_REPLAY_PATH, space / "out/game.jsonl", "--out", space / "again"}, space.str(),
                        space / "replay.log");
    ASSERT_EQ(replay.wait(EXIT_MS), 0) << read_text(space / "replay.log");
    EXPECT_EQ(read_text(space / "again/replay.html"), read_text(space / "out/replay.html"));
    size_t pictures = 0;
    for (const JsonValue &phase : record) {
        std::string picture = phase["picture"].text;
        EXPECT_EQ(read_text(space / ("again/" + picture)), read_text(space / ("out/" + picture))) << picture;
        pictures += !read_text(space / ("again/" + picture)).empty();
    }
    EXPECT_EQ(pictures, record.size());
}

// ---------------------------------------------------------------------------
// The largest game: twenty powers on 300 provinces
// ---------------------------------------------------------------------------

TEST(GamePlay, TwentyBotsPlayTwoYearsOnAGeneratedMapOf300Provinces) {
    constexpr int POWERS = 20;
    Workspace space;
    Server server(space, {"--seed", "3", "--provinces", "300", "--powers", "20", "--years", "2", "--deadline", "60"});
    ASSERT_NE(server.port, 0) << read_text(server.log);
    std::vector<std::unique_ptr<ChildProcess>> bots;
    for (int b = 0; b < POWERS; b++)
        bots.push_back(start_bot(space, server, "bot" + std::to_string(b), "bot.log", "2"));
    EXPECT_EQ(server.process->wait(GAME_MS), 0) << read_text(server.log);
    for (auto &bot : bots) EXPECT_EQ(bot->wait(EXIT_MS), 0);
    keep_record(space, "twenty-powers", true);

    std::vector<JsonValue> record = game_record(space);
    expect_orders_and_adjustments(record);
    ASSERT_GE(record.size(), 2u);
    EXPECT_EQ(record.front()["powers"].items.size(), size_t{POWERS});
    EXPECT_EQ(record.front()["units"].items.size(), size_t{POWERS * 3});
    EXPECT_EQ(record.back()["year"].integer(), 1903);
    // Every phase has its picture, every order its outcome, and the replay
    // page is there.
    size_t phases = 0;
    for (const JsonValue &phase : record) {
        EXPECT_TRUE(fs::exists(space / ("out/" + phase["picture"].text))) << phase["picture"].text;
        if (phase["final"].boolean) continue;
        phases++;
        for (const JsonValue &order : phase["orders"].items) EXPECT_FALSE(order["outcome"].text.empty());
    }
    size_t pictures = 0;
    for (const auto &entry : fs::directory_iterator(space / "out/phases")) pictures += entry.path().extension() == ".svg";
    EXPECT_EQ(pictures, phases);
    EXPECT_GT(fs::file_size(space / "out/replay.html"), 10000u);
}

// ---------------------------------------------------------------------------
// Stopping a bot and starting it again
// ---------------------------------------------------------------------------

TEST(GamePlay, ABotStoppedInTheMiddleRejoinsAsTheSamePowerFromItsDirectory) {
    Workspace space;
    Server server(space, {"--years", "2", "--deadline", "30"});
    ASSERT_NE(server.port, 0) << read_text(server.log);
    std::vector<std::unique_ptr<ChildProcess>> bots;
    for (int b = 0; b < BOT_COUNT; b++) bots.push_back(start_bot(space, server, "bot" + std::to_string(b), "bot.log"));

    // Once the first phase is over, bot 3 is stopped and started again.
    // The others are paused meanwhile: a power whose bot has gone is not
    // waited for, and they would otherwise finish the game first.
    ASSERT_TRUE(wait_for_text(server.log, "1901 spring", GAME_MS)) << read_text(server.log);
    for (int b = 0; b < BOT_COUNT; b++)
        if (b != 3) bots[static_cast<size_t>(b)]->send_signal(SIGSTOP);
    std::string first_log = space / "bot3/bot.log";
    ASSERT_TRUE(wait_for_text(first_log, "brox_bot: power ", START_MS));
    std::string first_run = read_text(first_log);
    size_t at = first_run.find("brox_bot: power ");
    std::string power = first_run.substr(at + 16, first_run.find('\n', at) - at - 16);
    bots[3]->send_signal(SIGTERM);
    EXPECT_EQ(bots[3]->wait(EXIT_MS), 0) << read_text(first_log);
    EXPECT_NE(read_text(first_log).find("brox_bot: stopped"), std::string::npos);
    EXPECT_TRUE(fs::exists(space / "bot3/broxgame.log"));
    auto restarted = start_bot(space, server, "bot3", "again.log");
    EXPECT_TRUE(wait_for_text(server.log, "): rejoined", GAME_MS)) << read_text(server.log);
    for (int b = 0; b < BOT_COUNT; b++)
        if (b != 3) bots[static_cast<size_t>(b)]->send_signal(SIGCONT);

    EXPECT_EQ(server.process->wait(GAME_MS), 0) << read_text(server.log);
    EXPECT_EQ(restarted->wait(EXIT_MS), 0);
    for (int b = 0; b < BOT_COUNT; b++)
        if (b != 3) {
            EXPECT_EQ(bots[static_cast<size_t>(b)]->wait(EXIT_MS), 0);
        }
    std::string again = read_text(space / "bot3/again.log");
    EXPECT_NE(again.find("brox_bot: power " + power + " (rejoined)"), std::string::npos) << again;
    EXPECT_NE(again.find("brox_bot: game over"), std::string::npos) << again;
    std::string server_log = read_text(server.log);
    size_t rejoined = server_log.find("): rejoined");
    ASSERT_NE(rejoined, std::string::npos) << server_log;
    size_t line = server_log.rfind('\n', rejoined) + 1;
    EXPECT_EQ(server_log.substr(line, 7 + power.size()), "power " + power + " ") << server_log;
    EXPECT_FALSE(fs::exists(space / "bot3/broxgame.log"));

    // The rejoined bot's orders came in again: its last phase with orders
    // due has them.
    keep_record(space, "rejoin");
    std::vector<JsonValue> record = game_record(space);
    expect_orders_and_adjustments(record, std::atoi(power.c_str()));
    bool seen = false;
    for (size_t i = record.size() - 1; i-- > 0 && !seen;) {
        const JsonValue &entry = record[i]["powers"][static_cast<size_t>(std::atoi(power.c_str()))];
        if (!entry["orders_due"].boolean) continue;
        EXPECT_TRUE(entry["orders_received"].boolean);
        seen = true;
    }
    EXPECT_TRUE(seen);
}

// ---------------------------------------------------------------------------
// A client that misbehaves
// ---------------------------------------------------------------------------

using board::record_of;

// A hand-driven connection to the server, speaking the wire framing.
class RawClient {
  public:
    // A `receive_buffer` above 0 sets the socket's receive buffer before
    // connecting, so that the window offered to the server stays small.
    explicit RawClient(uint16_t port, int receive_buffer = 0) {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (receive_buffer > 0) set_receive_buffer(receive_buffer);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        connected = connect(fd_, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
        stream_.reset(fd_);
    }
    ~RawClient() { close_connection(); }
    void close_connection() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }

    bool send_record(const Bytes &record) { return wire_send_frame(fd_, record.data(), record.size()) == 1; }
    bool send_raw(const Bytes &bytes) {
        return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }

    // The next record of the given type, skipping others; nothing when the
    // connection ends or nothing comes in time.
    std::optional<Bytes> receive(uint16_t type, int timeout_ms = GAME_MS) {
        for (;;) {
            std::optional<Bytes> record = stream_.next(timeout_ms);
            if (!record || board::record_type(*record) == type) return record;
        }
    }

    // Whether the server closes the connection within the time limit.
    bool closed_by_server() {
        while (next()) {
        }
        return stream_.ended();
    }

    void set_receive_buffer(int bytes) { setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes); }

    bool connected = false;
    int fd() const { return fd_; }

  private:
    std::optional<Bytes> next() { return stream_.next(GAME_MS); }

    int fd_ = -1;
    WireStream stream_;
};

// A request for the map definition: a definition with no counts.
Bytes definition_request() { return record_of(MSG_MAP_DEFINITION, static_cast<uint16_t>(map_message_size(0, 0))); }

// An orders entry for a unit of the position message (entry `unit`), with
// the province token taken from the map definition.
OrderEntry order_entry(const Bytes &map_record, const Bytes &position_record, uint16_t unit, uint16_t token,
                       uint16_t target_province_index) {
    PositionUnitEntry placed;
    position_unit_read(position_message_unit(record_message(position_record.data()), unit), &placed);
    auto province_token = [&](uint16_t index) {
        return map_message_province(record_message(map_record.data()), index).token;
    };
    OrderEntry entry{};
    entry.unit = {placed.power, placed.unit_type, province_token(placed.province), placed.coast, 0};
    entry.token = token;
    entry.target_province = token == ORD_HOLD ? TARGET_NONE : province_token(target_province_index);
    entry.target_coast = COAST_ARMY;
    return entry;
}

TEST(GamePlay, MalformedFramesAndIllegalOrdersDoNotStopTheGame) {
    Workspace space;
    Server server(space, {"--years", "1", "--deadline", "8", "--verbose"});
    ASSERT_NE(server.port, 0) << read_text(server.log);

    // A frame whose size prefix is too small to hold a record.
    RawClient garbage(server.port);
    ASSERT_TRUE(garbage.connected);
    garbage.send_raw({3, 0, 0, 0, 2, 0, 0});
    EXPECT_TRUE(garbage.closed_by_server());

    // A client that joins properly, then orders units it does not have and
    // a move its unit cannot make, then breaks its framing.
    RawClient rogue(server.port);
    ASSERT_TRUE(rogue.connected);
    Bytes join = board::join_record("rogue", "");
    ASSERT_TRUE(rogue.send_record(join));
    std::optional<Bytes> assignment = rogue.receive(MSG_ASSIGNMENT);
    ASSERT_TRUE(assignment);
    uint16_t power = power_token_index(assignment_read(record_message(assignment->data())).power);
    std::optional<Bytes> map_name = rogue.receive(MSG_MAP_NAME);
    ASSERT_TRUE(map_name);
    rogue.send_record(definition_request());
    std::optional<Bytes> map = rogue.receive(MSG_MAP_DEFINITION);
    ASSERT_TRUE(map);
    board::record_set_flag(*map_name, FLAG_ACCEPT);
    rogue.send_record(*map_name);

    std::vector<std::unique_ptr<ChildProcess>> bots;
    for (int b = 0; b < BOT_COUNT - 1; b++)
        bots.push_back(start_bot(space, server, "bot" + std::to_string(b), "bot.log"));

    std::optional<Bytes> position = rogue.receive(MSG_POSITION);
    ASSERT_TRUE(position);
    const uint8_t *position_message = record_message(position->data());
    auto unit_at = [&](uint16_t u) {
        PositionUnitEntry entry;
        position_unit_read(position_message_unit(position_message, u), &entry);
        return entry;
    };
    uint16_t own = 0, foreign = 0;
    uint16_t units = position_message_unit_count(position_message);
    while (own < units && unit_at(own).power != power) own++;
    while (foreign < units && unit_at(foreign).power == power) foreign++;
    ASSERT_LT(own, units);
    ASSERT_LT(foreign, units);
    uint16_t own_province = unit_at(own).province;
    Bytes orders(RECORD_MESSAGE_AT + orders_message_size(2), 0);
    uint8_t *orders_message = msg_init(orders.data(), MSG_ORDERS, static_cast<uint16_t>(orders_message_size(2)));
    orders_message_init(orders_message, 2);
    OrderEntry not_ours = order_entry(*map, *position, foreign, ORD_HOLD, 0);
    not_ours.unit.power = power;  // claims another power's unit as its own
    OrderEntry nowhere = order_entry(*map, *position, own, ORD_MOVE, own_province);  // a move into its own province
    order_entry_write(orders_message_entry(orders_message, 0), not_ours);
    order_entry_write(orders_message_entry(orders_message, 1), nowhere);
    ASSERT_TRUE(rogue.send_record(orders));
    ASSERT_TRUE(rogue.send_record(record_of(MSG_GOF, GOF_LENGTH)));  // not for a server: ignored
    ASSERT_TRUE(wait_for_text(server.log, "1901 spring", GAME_MS)) << read_text(server.log);
    rogue.send_raw({8, 0, 0, 0, 9, 0x48, 0x0E, 7, 0, 1, 0, 0});  // kind 9: not a message record
    EXPECT_TRUE(rogue.closed_by_server());

    EXPECT_EQ(server.process->wait(GAME_MS), 0) << read_text(server.log);
    for (auto &bot : bots) EXPECT_EQ(bot->wait(EXIT_MS), 0);
    std::string log = read_text(server.log);
    EXPECT_NE(log.find("malformed record"), std::string::npos) << log;
    EXPECT_NE(log.find("refused entry 1: "), std::string::npos) << log;
    EXPECT_NE(log.find("refused entry 2: "), std::string::npos) << log;

    keep_record(space, "illegal-orders");
    std::vector<JsonValue> record = game_record(space);
    expect_orders_and_adjustments(record, power);
    ASSERT_GE(record.size(), 3u);
    const JsonValue &spring = record[0];
    const JsonValue &rogue_orders = spring["powers"][size_t{power}];
    EXPECT_TRUE(rogue_orders["orders_received"].boolean);
    EXPECT_EQ(rogue_orders["entries"].integer(), 2);
    EXPECT_EQ(rogue_orders["refused"].integer(), 2);
    // Each refusal with its entry, the order as sent and the reason.
    const JsonValue &refusals = rogue_orders["refusals"];
    ASSERT_EQ(refusals.items.size(), 2u);
    EXPECT_EQ(refusals[0]["entry"].integer(), 1);
    EXPECT_EQ(refusals[0]["reason"].text, "names no unit of this power that may be ordered");
    EXPECT_EQ(refusals[1]["entry"].integer(), 2);
    EXPECT_EQ(refusals[1]["reason"].text, "not a legal order for this unit");
    const std::string &own_move = refusals[1]["order"].text;
    ASSERT_NE(own_move.find(" - "), std::string::npos) << own_move;
    EXPECT_EQ(own_move.substr(2, own_move.find(" - ") - 2), own_move.substr(own_move.find(" - ") + 3)) << own_move;
    for (const JsonValue &order : spring["orders"].items) {
        EXPECT_EQ(order["from"].text, order["power"].integer() == power ? "default" : "bot");
    }
    // The game went on to its end without the rogue.
    EXPECT_EQ(record.back()["year"].integer(), 1902);
    EXPECT_FALSE(record[1]["powers"][size_t{power}]["orders_received"].boolean);
}

// ---------------------------------------------------------------------------
// Hostile clients
// ---------------------------------------------------------------------------

using Clock = std::chrono::steady_clock;

int64_t ms_since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Joins through a hand-driven connection and accepts the map, as the
// library would; gives the power token and the passcode of the assignment.
std::pair<uint16_t, uint16_t> join_by_hand(RawClient &client, const char *name) {
    Bytes join = board::join_record(name, "");
    EXPECT_TRUE(client.send_record(join));
    std::optional<Bytes> assignment = client.receive(MSG_ASSIGNMENT);
    std::optional<Bytes> map_name = client.receive(MSG_MAP_NAME);
    if (!assignment || !map_name) {
        ADD_FAILURE() << name << " could not join";
        return {0, 0};
    }
    board::record_set_flag(*map_name, FLAG_ACCEPT);
    EXPECT_TRUE(client.send_record(*map_name));
    Assignment granted = assignment_read(record_message(assignment->data()));
    return {granted.power, granted.passcode};
}

Bytes rejoin_request(uint16_t token, uint16_t passcode) { return board::rejoin_record(token, passcode); }

// Stops the server, and once the game is over closes the clients, which
// the server otherwise waits for a while.
void stop_then_close(Server &server, std::initializer_list<RawClient *> clients) {
    server.process->send_signal(SIGTERM);
    EXPECT_TRUE(wait_for_text(server.log, "game over: ", EXIT_MS));
    for (RawClient *client : clients) client->close_connection();
    EXPECT_EQ(server.process->wait(EXIT_MS), 0) << read_text(server.log);
}

int count_dropped(const std::vector<JsonValue> &dropped, int seat, const std::string &reason) {
    int count = 0;
    for (const JsonValue &line : dropped)
        count += line["reason"].text == reason &&
                 (seat < 0 ? line["seat"].kind == JsonValue::Kind::NUL : line["seat"].integer() == seat);
    return count;
}

TEST(GamePlay, AClientTryingPasscodesIsHeldBackWhileTheBotItselfRejoins) {
    Workspace space;
    Server server(space, {"--players", "2", "--deadline", "60", "--verbose"});
    ASSERT_NE(server.port, 0) << read_text(server.log);
    auto leaving = std::make_unique<RawClient>(server.port);
    RawClient staying(server.port);
    auto [token, passcode] = join_by_hand(*leaving, "leaving");
    join_by_hand(staying, "staying");
    ASSERT_TRUE(staying.receive(MSG_POSITION));
    leaving.reset();
    ASSERT_TRUE(wait_for_text(server.log, "connection dropped, closed", START_MS)) << read_text(server.log);

    // Five tries, one connection each as the server demands: each is
    // refused and its connection closed; the first four are answered at
    // once, the fifth only a second after the fourth.
    uint16_t guess = 0;
    for (int n = 1; n <= 5; n++) {
        if (++guess == passcode) ++guess;
        RawClient thief(server.port);
        auto sent = Clock::now();
        ASSERT_TRUE(thief.send_record(rejoin_request(token, guess)));
        std::optional<Bytes> answer = thief.receive(MSG_REJOIN, START_MS);
        ASSERT_TRUE(answer) << n;
        int64_t waited_ms = ms_since(sent);
        EXPECT_EQ(board::record_flag(*answer), FLAG_REJECT);
        EXPECT_TRUE(thief.closed_by_server());
        if (n < 5) {
            EXPECT_LT(waited_ms, 500) << n;
        } else {
            EXPECT_GE(waited_ms, 500);
        }
    }

    // The sixth waits its turn (2 s); meanwhile one more for the same power
    // is closed without an answer, right passcode or not.
    auto waiting = std::make_unique<RawClient>(server.port);
    ASSERT_TRUE(waiting->send_record(rejoin_request(token, static_cast<uint16_t>(passcode + 1))));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    RawClient pushy(server.port);
    ASSERT_TRUE(pushy.send_record(rejoin_request(token, passcode)));
    EXPECT_FALSE(pushy.receive(MSG_REJOIN, START_MS));
    EXPECT_TRUE(pushy.closed_by_server());

    // The thief gives up; the bot itself, back with its rejoin file, waits
    // for that turn and gets its power back.
    waiting.reset();
    auto asked = Clock::now();
    RawClient back(server.port);
    ASSERT_TRUE(back.send_record(rejoin_request(token, passcode)));
    std::optional<Bytes> answer = back.receive(MSG_REJOIN, START_MS);
    ASSERT_TRUE(answer);
    EXPECT_EQ(board::record_flag(*answer), FLAG_ACCEPT);
    EXPECT_LE(ms_since(asked), 4000);
    ASSERT_TRUE(back.send_record(board::map_name_record("")));
    EXPECT_TRUE(back.receive(MSG_MAP_NAME));
    stop_then_close(server, {&staying, &back});
    std::vector<JsonValue> dropped = game_record(space, true);
    uint16_t power = power_token_index(token);
    EXPECT_EQ(count_dropped(dropped, power, "closed"), 2);  // the bot, and the thief that gave up
    EXPECT_EQ(count_dropped(dropped, power, "rejoin-refused"), 5);
    EXPECT_EQ(count_dropped(dropped, power, "rejoin-limit"), 1);
    EXPECT_NE(read_text(server.log).find("was refused: wrong passcode"), std::string::npos);
}

// Kilobytes of one line of a process's status ("VmRSS:", "VmHWM:").
long status_kb(pid_t pid, const std::string &field) {
    std::istringstream text(read_text("/proc/" + std::to_string(pid) + "/status"));
    for (std::string line; std::getline(text, line);)
        if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + field.size());
    return -1;
}

Bytes frames_of(const Bytes &record, int count) {
    Bytes frames;
    for (int n = 0; n < count; n++) {
        uint8_t prefix[WIRE_PREFIX_SIZE];
        wire_put_prefix(prefix, static_cast<uint32_t>(record.size()));
        frames.insert(frames.end(), prefix, prefix + WIRE_PREFIX_SIZE);
        frames.insert(frames.end(), record.begin(), record.end());
    }
    return frames;
}

TEST(GamePlay, ClientsThatAskInALoopWithoutReadingAreDroppedBeforeTheServerGrows) {
    Workspace space;
    Server server(space, {"--players", "3", "--deadline", "60", "--max-output", "8192", "--output-budget", "2"});
    ASSERT_NE(server.port, 0) << read_text(server.log);
    RawClient honest(server.port), hoarder(server.port), flooder(server.port);
    join_by_hand(honest, "honest");
    uint16_t hoarder_power = power_token_index(join_by_hand(hoarder, "hoarder").first);
    uint16_t flooder_power = power_token_index(join_by_hand(flooder, "flooder").first);
    ASSERT_TRUE(honest.receive(MSG_POSITION));
    long before_kb = status_kb(server.process->pid(), "VmRSS:");

    // The hoarder asks for the map definition 400 times and reads nothing;
    // the flooder asks without end.  Each is answered twice in the phase,
    // and the third request closes its connection: a few kilobytes where
    // the answers would have been some 1.9 MB a burst.
    Bytes burst = frames_of(definition_request(), 400);
    ASSERT_TRUE(hoarder.send_raw(burst));
    for (int n = 0; n < 2000 && flooder.send_raw(burst); n++) {
    }
    EXPECT_TRUE(flooder.closed_by_server());
    EXPECT_TRUE(hoarder.closed_by_server());
    // The honest bot, which asks once, plays on.
    ASSERT_TRUE(honest.send_record(definition_request()));
    EXPECT_TRUE(honest.receive(MSG_MAP_DEFINITION));
    long peak_kb = status_kb(server.process->pid(), "VmHWM:");
    stop_then_close(server, {&honest});
    std::vector<JsonValue> dropped = game_record(space, true);
    EXPECT_EQ(count_dropped(dropped, hoarder_power, "request-limit"), 1) << read_text(space / "out/game.jsonl");
    EXPECT_EQ(count_dropped(dropped, flooder_power, "request-limit"), 1) << read_text(space / "out/game.jsonl");
    EXPECT_EQ(dropped.size(), 2u);
    std::printf("server memory: %ld kB before the flood, peak %ld kB\n", before_kb, peak_kb);
#if defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(peak_kb - before_kb, 16384);
#else
    EXPECT_LT(peak_kb - before_kb, 2048);
#endif
}

Bytes position_request() { return record_of(MSG_POSITION, static_cast<uint16_t>(position_message_size(0))); }

// Orders with no entries: every unit holds, and the power's orders are in.
Bytes hold_everything() {
    Bytes orders(RECORD_MESSAGE_AT + orders_message_size(0), 0);
    orders_message_init(msg_init(orders.data(), MSG_ORDERS, static_cast<uint16_t>(orders_message_size(0))), 0);
    return orders;
}

// The next position of a movement phase, the phases in between (retreats
// and adjustments, where no one has orders due when all units hold) skipped.
bool next_movement_phase(RawClient &client) {
    for (;;) {
        std::optional<Bytes> position = client.receive(MSG_POSITION);
        if (!position) return false;
        if (season_phase(position_message_phase(record_message(position->data())).season) == Phase::MOVEMENT)
            return true;
    }
}

// Plays movement phases in which `hoarder` asks for all the server answers
// in one phase (the map definition and the position, as often as allowed),
// sends its orders and reads nothing, `quiet` only sends its orders and
// reads nothing, and `honest` reads each position and sends its orders.
// Every unit holds, so each phase waits for all three.
// Stops once the server has logged dropping a connection for `reason`, with
// `honest` in a phase whose orders it has not sent; gives the phases played,
// or -1 when that took more than `most`.
int phases_until_dropped(const Server &server, RawClient &honest, RawClient &hoarder, RawClient &quiet,
                         const std::string &reason, int most) {
    Bytes allowance = frames_of(definition_request(), MAP_DEFINITIONS_PER_PHASE);
    Bytes positions = frames_of(position_request(), OTHER_REQUESTS_PER_PHASE);
    Bytes orders = frames_of(hold_everything(), 1);
    allowance.insert(allowance.end(), positions.begin(), positions.end());
    // Its orders follow its requests, so these are answered in the phase.
    allowance.insert(allowance.end(), orders.begin(), orders.end());
    if (!next_movement_phase(honest)) return -1;
    for (int phase = 1; phase <= most; phase++) {
        if (!hoarder.send_raw(allowance) || !quiet.send_record(hold_everything()) ||
            !honest.send_record(hold_everything()))
            return -1;
        if (!next_movement_phase(honest)) return -1;
        // A drop's log line is written before the next phase opens.
        if (read_text(server.log).find("connection dropped, " + reason) != std::string::npos) return phase;
    }
    return -1;
}

// A bot that never reads is dropped after a few phases of the answers it is
// allowed (on a map of 20 powers, where a position is some 6 kB), for its
// own queue past --max-output, or, when that limit is out of reach, for the
// queues of all connections past --output-budget: then the one holding the
// most goes, and a quiet connection that holds less stays.  The honest bot
// plays on either way.
TEST(GamePlay, AClientThatNeverReadsIsDroppedForTheOutputQueuedForIt) {
    struct Case {
        const char *reason;
        std::vector<std::string> limits;
    };
    for (const Case &limit : {Case{"output-limit", {"--max-output", "256"}},
                              Case{"memory-budget", {"--max-output", "1048576", "--output-budget", "1"}}}) {
        SCOPED_TRACE(limit.reason);
        Workspace space;
        std::vector<std::string> options = {"--players", "3",  "--powers",   "20", "--provinces", "300",
                                            "--years",   "40", "--deadline", "60"};
        options.insert(options.end(), limit.limits.begin(), limit.limits.end());
        Server server(space, options);
        ASSERT_NE(server.port, 0) << read_text(server.log);
        constexpr int SMALL_WINDOW = 1;  // the kernel's least receive buffer, a few kB
        RawClient honest(server.port), hoarder(server.port, SMALL_WINDOW), quiet(server.port, SMALL_WINDOW);
        join_by_hand(honest, "honest");
        uint16_t hoarder_power = power_token_index(join_by_hand(hoarder, "hoarder").first);
        join_by_hand(quiet, "quiet");

        int phases = phases_until_dropped(server, honest, hoarder, quiet, limit.reason, 30);
        ASSERT_GT(phases, 0) << read_text(server.log);
        std::printf("%s: the hoarder was dropped in movement phase %d\n", limit.reason, phases);
        // The honest bot plays on, and the quiet one stays.
        ASSERT_TRUE(quiet.send_record(hold_everything()));
        ASSERT_TRUE(honest.send_record(hold_everything()));
        EXPECT_TRUE(next_movement_phase(honest));
        // What the kernel still holds for the hoarder comes quickly through
        // a wide window, then the end.
        hoarder.set_receive_buffer(1 << 20);
        EXPECT_TRUE(hoarder.closed_by_server());
        stop_then_close(server, {&honest, &quiet});

        std::vector<JsonValue> dropped = game_record(space, true);
        EXPECT_EQ(count_dropped(dropped, hoarder_power, limit.reason), 1) << read_text(space / "out/game.jsonl");
        EXPECT_EQ(dropped.size(), 1u) << read_text(space / "out/game.jsonl");
        std::vector<JsonValue> record = game_record(space);
        expect_orders_and_adjustments(record, hoarder_power);
        EXPECT_GT(record.size(), static_cast<size_t>(phases));
    }
}

TEST(GamePlay, ThreeHundredIdleConnectionsDoNotHoldUpAnHonestGame) {
    Workspace space;
    Server server(space, {"--players", "2", "--years", "2", "--deadline", "60", "--handshake-timeout", "2"});
    ASSERT_NE(server.port, 0) << read_text(server.log);
    // Idle connections of three kinds: silent, half a frame, a join frame
    // one byte now and then.
    std::vector<int> idle, trickling;
    auto open_idle = [&](int count) {
        for (int n = 0; n < count; n++) {
            int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in address = {};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            address.sin_port = htons(server.port);
            ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
            idle.push_back(fd);
            if (n % 3 == 1) {
                // The size prefix and the first five bytes of a join.
                Bytes join = board::join_record("", "");
                uint8_t half[WIRE_PREFIX_SIZE + 5];
                wire_put_prefix(half, static_cast<uint32_t>(join.size()));
                std::copy_n(join.begin(), sizeof half - WIRE_PREFIX_SIZE, half + WIRE_PREFIX_SIZE);
                ::send(fd, half, sizeof half, MSG_NOSIGNAL);
            } else if (n % 3 == 2) {
                trickling.push_back(fd);
            }
        }
    };
    // The first ones make room for each other, then run out of time.
    open_idle(150);
    auto timed_out = [&] {
        std::string text = read_text(space / "out/game.jsonl");
        int count = 0;
        for (size_t at = 0; (at = text.find("\"handshake-timeout\"", at)) != std::string::npos; at++) count++;
        return count;
    };
    for (auto waiting = Clock::now(); timed_out() < 64 && ms_since(waiting) < START_MS;)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    open_idle(150);

    auto began = Clock::now();
    std::vector<std::unique_ptr<ChildProcess>> bots;
    for (int b = 0; b < 2; b++) bots.push_back(start_bot(space, server, "bot" + std::to_string(b), "bot.log"));
    std::optional<int> status;
    Bytes join = frames_of(record_of(MSG_JOIN, JOIN_LENGTH), 1);
    int64_t game_ms = -1;  // until the server says the game is over
    for (size_t sent = 0; !(status = server.process->wait(200)) && ms_since(began) < GAME_MS; sent++) {
        for (int fd : trickling) ::send(fd, &join[sent % join.size()], 1, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (game_ms < 0 && read_text(server.log).find("game over: ") != std::string::npos) game_ms = ms_since(began);
    }
    if (game_ms < 0) game_ms = ms_since(began);
    for (int fd : idle) close(fd);
    EXPECT_EQ(status, 0) << read_text(server.log);
    for (auto &bot : bots) EXPECT_EQ(bot->wait(EXIT_MS), 0);
    std::printf("two years with 300 idle connections: %lld ms\n", static_cast<long long>(game_ms));

    // No phase waited for its deadline: every order due came from a bot,
    // and the whole game took less than one deadline.
    std::vector<JsonValue> record = game_record(space);
    expect_orders_and_adjustments(record);
    EXPECT_EQ(record.back()["year"].integer(), 1903);
    EXPECT_LT(game_ms, 60000);
    // The idle connections made room for newer ones or ran out of time;
    // none of them held a power.
    std::vector<JsonValue> dropped = game_record(space, true);
    EXPECT_GE(count_dropped(dropped, -1, "connection-cap"), 150);
    EXPECT_GE(count_dropped(dropped, -1, "handshake-timeout"), 64);
    EXPECT_EQ(count_dropped(dropped, -1, "connection-cap") + count_dropped(dropped, -1, "handshake-timeout"),
              static_cast<int>(dropped.size()));
}

TEST(GamePlay, APowerWhoseBotCrashedIsNotWaitedFor) {
    Workspace space;
    Server server(space, {"--players", "2", "--years", "2", "--deadline", "60"});
    ASSERT_NE(server.port, 0) << read_text(server.log);
    auto first = start_bot(space, server, "bot0", "bot.log");
    auto crashing = start_bot(space, server, "bot1", "bot.log");
    std::string crashing_log = space / "bot1/bot.log";
    ASSERT_TRUE(wait_for_text(crashing_log, "brox_bot: power ", START_MS));
    ASSERT_TRUE(wait_for_text(server.log, "1901 spring", GAME_MS)) << read_text(server.log);
    std::string text = read_text(crashing_log);
    int power = std::atoi(text.c_str() + text.find("brox_bot: power ") + 16);
    crashing->send_signal(SIGKILL);
    auto crashed = Clock::now();

    // The game goes on at the pace of the bot that is left: its end comes
    // before even one deadline would have passed.
    EXPECT_EQ(server.process->wait(GAME_MS), 0) << read_text(server.log);
    EXPECT_LT(ms_since(crashed), 60000);
    EXPECT_EQ(first->wait(EXIT_MS), 0);
    std::vector<JsonValue> record = game_record(space);
    expect_orders_and_adjustments(record, power);
    EXPECT_EQ(record.back()["year"].integer(), 1903);
    EXPECT_FALSE(record[record.size() - 2]["powers"][static_cast<size_t>(power)]["orders_received"].boolean);
    std::vector<JsonValue> dropped = game_record(space, true);
    ASSERT_EQ(dropped.size(), 1u);
    EXPECT_EQ(dropped[0]["seat"].integer(), power);
    EXPECT_EQ(dropped[0]["reason"].text, "closed");
    EXPECT_NE(dropped[0]["peer"].text.rfind("127.0.0.1:", 0), std::string::npos);
}

}  // namespace
