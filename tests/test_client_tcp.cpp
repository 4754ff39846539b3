// The real client library over loopback TCP against a scripted server:
// configuration, connection events, framing in both directions, lost and
// broken connections, stopping, and a bot that joins (or rejoins) a game,
// keeps its world current, submits orders and leaves.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "board.h"
#include "brox.h"
#include "common/assignment_message.h"
#include "common/event_record.h"
#include "common/record.h"
#include "doubles.h"
#include "orders/orders_message.h"
#include "platform/phase_tag.h"
#include "platform/seat_secret.h"
#include "platform/wire.h"
#include "session/gof_message.h"
#include "session/join_message.h"
#include "session/rejoin_message.h"
#include "temp_dir.h"
#include "vorn.h"
#include "wire_stream.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int WAIT_MS = 5000;  // every wait of these tests ends by then

using board::record_of;

using board::record_flag;
using board::record_set_flag;
using board::record_type;

// A listening socket on a free loopback port and, once accepted, the one
// client connection; every wait is bounded.
class ScriptedServer {
  public:
    ScriptedServer() {
        listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        socklen_t size = sizeof address;
        if (bind(listener_, reinterpret_cast<sockaddr *>(&address), size) != 0 ||
            listen(listener_, 4) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr *>(&address), &size) != 0)
            ADD_FAILURE() << "cannot listen on loopback";
        port = ntohs(address.sin_port);
    }
    ~ScriptedServer() {
        close_client();
        if (listener_ >= 0) close(listener_);
    }

    uint16_t port = 0;

    bool accept_client() {
        pollfd wait = {listener_, POLLIN, 0};
        if (poll(&wait, 1, WAIT_MS) != 1) return false;
        client_ = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        stream_.reset(client_);
        return client_ >= 0;
    }

    bool send(const Bytes &record) { return wire_send_frame(client_, record.data(), record.size()) == 1; }

    bool send_raw(const Bytes &bytes) {
        return ::send(client_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }

    // The next whole record from the client; nothing on timeout, end of
    // stream or a broken frame.
    std::optional<Bytes> read() { return stream_.next(WAIT_MS); }

    // Waits until the client has closed its end.
    bool client_closed() {
        for (;;) {
            pollfd wait = {client_, POLLIN, 0};
            if (poll(&wait, 1, WAIT_MS) != 1) return false;
            uint8_t scratch[256];
            ssize_t got = recv(client_, scratch, sizeof scratch, 0);
            if (got <= 0) return true;
        }
    }

    void close_client() {
        if (client_ >= 0) close(client_);
        client_ = -1;
    }

  private:
    int listener_ = -1;
    int client_ = -1;
    WireStream stream_;
};

// A loopback port that nothing listens on (bound once, then closed).
uint16_t unused_port() {
    int probe = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(probe, reinterpret_cast<sockaddr *>(&address), size);
    getsockname(probe, reinterpret_cast<sockaddr *>(&address), &size);
    close(probe);
    return ntohs(address.sin_port);
}

// Points the client library at a loopback port.
int configure_port(uint16_t port) {
    std::string port_text = std::to_string(port);
    const char *argv[] = {"bot", "-i", "127.0.0.1", "-p", port_text.c_str()};
    return vorn_client_configure(5, const_cast<char **>(argv));
}

// Takes the next delivered record as bytes (the size known from its kind)
// and releases it.
std::optional<Bytes> receive(int timeout_ms = WAIT_MS) {
    uint8_t *record = vorn_client_receive(timeout_ms);
    if (!record) return std::nullopt;
    // A stop record is read for its kind byte alone.
    uint8_t kind = record_kind(record);
    size_t size = kind == KIND_MESSAGE ? record_size(record) : kind == KIND_EVENT ? EVENT_RECORD_SIZE : 1;
    Bytes bytes(record, record + size);
    vorn_client_release(record);
    return bytes;
}

void expect_event(const std::optional<Bytes> &record, uint16_t code, bool status_zero) {
    ASSERT_TRUE(record.has_value());
    ASSERT_EQ(record_kind(record->data()), KIND_EVENT);
    ConnectionEvent event = event_record_read(record->data());
    EXPECT_EQ(event.code, code);
    EXPECT_EQ(event.status == 0, status_zero);
}

class Client : public ::testing::Test {
  protected:
    ScriptedServer server;

    void SetUp() override {
        fake_notice::shown().clear();
        ASSERT_EQ(configure_port(server.port), 1);
    }
    void TearDown() override {
        vorn_client_disconnect();
        // Nothing left over for the next test, stop requests included.
        while (uint8_t *record = vorn_client_receive(0)) vorn_client_release(record);
    }

    void connect() {
        server.close_client();
        ASSERT_EQ(vorn_client_connect(), 1);
        ASSERT_TRUE(server.accept_client());
        expect_event(receive(), EVENT_CONNECT, true);
    }
};

// ---------------------------------------------------------------------------
// The client library on its own
// ---------------------------------------------------------------------------

TEST_F(Client, ConfigurationKeepsTheLastSoundSettingOfEachOption) {
    const char *bad[][3] = {{"bot", "-p", "0"},        {"bot", "-p", "65536"}, {"bot", "-p", "12x"},
                            {"bot", "-i", "loopback"}, {"bot", "-n", ""},      {"bot", "-p", nullptr}};
    for (const auto &argv : bad) {
        int argc = argv[2] ? 3 : 2;
        EXPECT_EQ(vorn_client_configure(argc, const_cast<char **>(argv)), 0) << argv[1];
    }
    // The bot's own options are skipped, "-port" included; the good
    // settings from SetUp still stand.
    const char *own[] = {"bot", "-port", "1", "-name", "x", "-v"};
    EXPECT_EQ(vorn_client_configure(6, const_cast<char **>(own)), 1);
    connect();

    // A host name resolves; the last setting wins.
    std::string port_text = std::to_string(server.port);
    const char *by_name[] = {"bot", "-p", "1", "-n", "localhost", "-p", port_text.c_str()};
    EXPECT_EQ(vorn_client_configure(7, const_cast<char **>(by_name)), 1);
    connect();
}

TEST_F(Client, ConnectionOutcomesArriveAsEvents) {
    connect();
    // A port nobody listens on: refused, and said so with a non-zero status.
    ASSERT_EQ(configure_port(unused_port()), 1);
    EXPECT_EQ(vorn_client_connect(), 0);
    expect_event(receive(), EVENT_CONNECT, false);
    Bytes gof = record_of(MSG_GOF, GOF_LENGTH);
    EXPECT_EQ(vorn_client_send_message(gof.data(), gof.size()), 0);  // not connected
}

TEST_F(Client, RecordsAreFramedBothWays) {
    connect();
    Bytes join = board::join_record("framed", "");
    EXPECT_EQ(vorn_client_send_message(join.data(), join.size()), 1);
    EXPECT_EQ(vorn_client_send_message(join.data(), join.size() - 1), 0);  // not length + 1
    Bytes gof = record_of(MSG_GOF, GOF_LENGTH);
    EXPECT_EQ(vorn_client_send_message(gof.data(), gof.size()), 1);
    EXPECT_EQ(server.read(), join);
    EXPECT_EQ(server.read(), gof);  // the refused record never reached the wire

    std::vector<Bytes> script = {board::assignment_record(0x0141, 7), board::map_name_record(""),
                                 record_of(0x7748, 0xFFFF)};
    for (const Bytes &record : script) ASSERT_TRUE(server.send(record));
    for (const Bytes &record : script) EXPECT_EQ(receive(), record);
    EXPECT_FALSE(receive(20).has_value());  // nothing more: the wait times out
}

TEST_F(Client, AClosedOrBrokenStreamIsALostConnection) {
    connect();
    ASSERT_TRUE(server.send(record_of(MSG_SESSION_END, MSG_HEADER_SIZE)));
    server.close_client();
    EXPECT_EQ(receive(), record_of(MSG_SESSION_END, MSG_HEADER_SIZE));  // what came before the loss first
    expect_event(receive(), EVENT_CONNECTION_LOST, true);
    Bytes gof = record_of(MSG_GOF, GOF_LENGTH);
    EXPECT_EQ(vorn_client_send_message(gof.data(), gof.size()), 0);

    struct Broken {
        const char *what;
        Bytes bytes;
    };
    Bytes too_long(4 + 21, 0);  // announces 21 bytes, the record says 31
    wire_put_prefix(too_long.data(), 21);
    Bytes record = record_of(MSG_POSITION, 30);
    std::copy(record.begin(), record.begin() + 21, too_long.begin() + 4);
    Bytes huge(4);
    wire_put_prefix(huge.data(), 1u << 20);
    Bytes not_a_message = {8, 0, 0, 0, KIND_EVENT, 0, 0, 0, 0, 7, 0, 0};
    for (const Broken &broken : {Broken{"size mismatch", too_long}, Broken{"huge", huge},
                                 Broken{"event kind", not_a_message}}) {
        SCOPED_TRACE(broken.what);
        connect();
        ASSERT_TRUE(server.send_raw(broken.bytes));
        expect_event(receive(), EVENT_CONNECTION_LOST, true);
        EXPECT_FALSE(receive(20).has_value());
        EXPECT_TRUE(server.client_closed());
        server.close_client();
    }
}

TEST_F(Client, AStopComesAheadOfEverythingElse) {
    ASSERT_EQ(vorn_client_connect(), 1);  // its event waits in the queue
    vorn_client_stop();
    std::optional<Bytes> first = receive();
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(*first, Bytes{KIND_STOP_A});
    expect_event(receive(), EVENT_CONNECT, true);
    EXPECT_FALSE(receive(20).has_value());  // one stop, one stop record

    // A stop from another thread ends a wait that nothing else would end.
    std::thread stopper([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        vorn_client_stop();
    });
    std::optional<Bytes> stopped = receive(-1);
    stopper.join();
    ASSERT_TRUE(stopped.has_value());
    EXPECT_EQ(record_kind(stopped->data()), KIND_STOP_A);
}

// The tag that must come right before an orders message: the phase of the
// last position delivered.
void expect_tag(const std::optional<Bytes> &record, uint16_t season, uint16_t year) {
    ASSERT_TRUE(record.has_value());
    ASSERT_EQ(record_type(*record), MSG_ORDERS_PHASE);
    ASSERT_TRUE(phase_tag_readable(record_message(record->data())));
    OrdersPhase phase = phase_tag_read(record_message(record->data()));
    EXPECT_EQ(phase.season, season);
    EXPECT_EQ(phase.year, year);
}

TEST_F(Client, OrdersGoOutBehindTheirPhaseTheLastPositionDelivered) {
    connect();
    Bytes orders = record_of(MSG_ORDERS, static_cast<uint16_t>(orders_message_size(0)), FLAG_SUBMIT);
    Bytes gof = record_of(MSG_GOF, GOF_LENGTH);
    // Before any position: a tag naming none.  Other records go untagged.
    EXPECT_EQ(vorn_client_send_message(orders.data(), orders.size()), 1);
    EXPECT_EQ(vorn_client_send_message(gof.data(), gof.size()), 1);
    expect_tag(server.read(), 0, 0);
    EXPECT_EQ(server.read(), orders);
    EXPECT_EQ(server.read(), gof);

    const board::Board board(R"(
        powers 1
        land PAR*0
    )");
    ASSERT_TRUE(server.send(board::as_record(board.position(SEASON_FALL, 1902, "0 A PAR"))));
    ASSERT_TRUE(receive().has_value());
    ASSERT_TRUE(server.send(board::as_record(board.position(SEASON_SPRING, 1903, "0 A PAR"))));
    // The spring has arrived but is not delivered yet: orders sent now were
    // chosen on the fall.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(vorn_client_send_message(orders.data(), orders.size()), 1);
    expect_tag(server.read(), SEASON_FALL, 1902);
    EXPECT_EQ(server.read(), orders);
    ASSERT_TRUE(receive().has_value());
    EXPECT_EQ(vorn_client_send_message(orders.data(), orders.size()), 1);
    expect_tag(server.read(), SEASON_SPRING, 1903);
    EXPECT_EQ(server.read(), orders);

    // A new connection has delivered nothing yet.
    connect();
    EXPECT_EQ(vorn_client_send_message(orders.data(), orders.size()), 1);
    expect_tag(server.read(), 0, 0);
}

TEST_F(Client, JoinsAndRejoinsGoOutBehindTheSeatSecretOfTheEnvironment) {
    connect();
    Bytes join = board::join_record("secret", "");
    Bytes rejoin = board::rejoin_record(0x0141, 7);
    Bytes gof = record_of(MSG_GOF, GOF_LENGTH);
    const std::string secret = "a-seat-secret-of-this-bot";
    setenv(SEAT_SECRET_VARIABLE, secret.c_str(), 1);
    EXPECT_EQ(vorn_client_send_message(join.data(), join.size()), 1);
    EXPECT_EQ(vorn_client_send_message(gof.data(), gof.size()), 1);
    EXPECT_EQ(vorn_client_send_message(rejoin.data(), rejoin.size()), 1);
    unsetenv(SEAT_SECRET_VARIABLE);
    EXPECT_EQ(vorn_client_send_message(join.data(), join.size()), 1);
    auto expect_secret = [&](const std::optional<Bytes> &record) {
        ASSERT_TRUE(record.has_value());
        ASSERT_EQ(record_type(*record), MSG_SEAT_SECRET);
        ASSERT_TRUE(seat_secret_readable(record_message(record->data())));
        EXPECT_EQ(seat_secret_read(record_message(record->data())), secret);
    };
    expect_secret(server.read());
    EXPECT_EQ(server.read(), join);
    EXPECT_EQ(server.read(), gof);
    expect_secret(server.read());
    EXPECT_EQ(server.read(), rejoin);
    EXPECT_EQ(server.read(), join);  // no secret in the environment: none sent
}

// ---------------------------------------------------------------------------
// A bot's whole game over TCP
// ---------------------------------------------------------------------------

class TcpGame : public Client {
  protected:
    TempDir dir;
    board::Board board{R"(
        powers 2
        land   PAR*0 BUR MUN*1
        army   PAR-BUR BUR-MUN
    )"};
    Session session{};
    long live_before = 0;

    void SetUp() override {
        Client::SetUp();
        seen_types.clear();
        live_before = test_memory::live_blocks();
        ASSERT_EQ(brox_initialise(&session, vorn_client_release), 1);
    }
    void TearDown() override {
        brox_terminate(&session);
        EXPECT_EQ(test_memory::live_blocks(), live_before);
        Client::TearDown();
    }

    std::vector<uint16_t> seen_types;  // message types the bot was handed, in order

    // The bot's loop: every record to the session; on a position, move the
    // first unit of its power that can move and submit.  Returns when the
    // session ends (or after a bounded number of records).
    void play() {
        for (int n = 0; n < 50; n++) {
            uint8_t *record = vorn_client_receive(WAIT_MS);
            if (!record) {
                ADD_FAILURE() << "the server went quiet";
                return;
            }
            uint16_t type = record_kind(record) == KIND_MESSAGE ? msg_type(record_message(record)) : 0;
            int keep_running = 0, release_record = 0;
            brox_process_msg(&session, record, &keep_running, &release_record);
            if (release_record) vorn_client_release(record);
            if (type) seen_types.push_back(type);
            if (type == MSG_POSITION && session.position) submit_moves();
            if (!keep_running) return;
        }
        ADD_FAILURE() << "the session never ended";
    }

    void submit_moves() {
        uint16_t power = assignment_read(session.assignment).power;
        Position *position = session.position;
        for (uint16_t u = 0; u < position->unit_count; u++) {
            Unit *unit = position->units[u];
            if (unit->power != power >> 8) continue;
            LumAvlTree *set = &unit->candidates;
            for (void *item = LUM_AVL_ITEM(set, set->first); item;
                 item = lum_avl_next(set, &static_cast<Order *>(item)->node)) {
                if (static_cast<Order *>(item)->token == ORD_MOVE) {
                    unit->order = *static_cast<Order *>(item);
                    break;
                }
            }
        }
        brox_order_submit(nullptr, position, power);
    }

    // What the server decodes from the bot's orders, tagged with the
    // spring it was sent in: its one army, PAR, moving to BUR.
    void check_orders(std::optional<Bytes> tag, std::optional<Bytes> orders, uint16_t year) {
        expect_tag(tag, SEASON_SPRING, year);
        ASSERT_TRUE(orders.has_value());
        EXPECT_EQ(record_type(*orders), MSG_ORDERS);
        EXPECT_EQ(record_flag(*orders), FLAG_SUBMIT);
        const uint8_t *message = record_message(orders->data());
        ASSERT_EQ(orders_message_count(message), 1);  // power 0 has one unit
        OrderEntry entry = order_entry_read(orders_message_entry(message, 0));
        EXPECT_EQ(entry.unit.power, 0);
        EXPECT_EQ(entry.unit.unit_type, UNIT_ARMY);
        EXPECT_EQ(entry.unit.province_token, board.definition.provinces[0].token);  // PAR
        EXPECT_EQ(entry.token, ORD_MOVE);
        EXPECT_EQ(entry.target_province, board.definition.provinces[1].token);      // BUR
        EXPECT_EQ(entry.target_coast, COAST_ARMY);
    }
};

TEST_F(TcpGame, ABotJoinsPlaysATurnAndLeavesAtGameEnd) {
    std::thread script([this] {
        if (!server.accept_client()) {
            ADD_FAILURE() << "no connection";
            return;
        }
        std::optional<Bytes> join = server.read();
        if (!join) {
            ADD_FAILURE() << "no join";
            return;
        }
        EXPECT_EQ(record_type(*join), MSG_JOIN);
        EXPECT_EQ(join->size(), 137u);
        EXPECT_STREQ(join_read(record_message(join->data())).name, "tcpbot");

        server.send(board::assignment_record(0x0041, 0x5150));
        Bytes name = board::map_name_record("LOOP");
        server.send(name);
        std::optional<Bytes> request = server.read();
        if (!request) {
            ADD_FAILURE() << "no definition request";
            return;
        }
        EXPECT_EQ(record_type(*request), MSG_MAP_DEFINITION);
        server.send(board::as_record(board.map_message()));
        std::optional<Bytes> answer = server.read();
        if (!answer) {
            ADD_FAILURE() << "no map name answer";
            return;
        }
        Bytes accepted = name;
        record_set_flag(accepted, FLAG_ACCEPT);
        EXPECT_EQ(*answer, accepted);

        server.send(board::as_record(board.centres("0: PAR; 1: MUN")));
        server.send(board::as_record(board.position(SEASON_SPRING, 1901, "0 A PAR; 1 A MUN")));
        {
            std::optional<Bytes> tag = server.read();
            check_orders(tag, server.read(), 1901);
        }
        server.send(record_of(MSG_GAME_END, MSG_HEADER_SIZE));
        EXPECT_TRUE(server.client_closed());
    });

    EXPECT_EQ(brox_game_join(&session, "tcpbot", "1.0"), 1);
    play();
    brox_terminate(&session);
    vorn_client_disconnect();
    script.join();

    EXPECT_EQ(seen_types,
              (std::vector<uint16_t>{MSG_ASSIGNMENT, MSG_MAP_NAME, MSG_MAP_DEFINITION,
                                     MSG_CENTRE_OWNERSHIP, MSG_POSITION, MSG_GAME_END}));
    EXPECT_EQ(assignment_read(session.assignment).passcode, 0x5150);
    EXPECT_FALSE(std::filesystem::exists("broxgame.log"));
    EXPECT_TRUE(fake_notice::shown().empty());
}

TEST_F(TcpGame, ABotRejoinsAsTheSamePower) {
    std::ofstream("broxgame.log", std::ios::binary).write("\x41\x00\x50\x51", 4);
    std::thread script([this] {
        if (!server.accept_client()) {
            ADD_FAILURE() << "no connection";
            return;
        }
        std::optional<Bytes> rejoin = server.read();
        if (!rejoin) {
            ADD_FAILURE() << "no rejoin";
            return;
        }
        EXPECT_EQ(record_type(*rejoin), MSG_REJOIN);
        RejoinRequest asked = rejoin_read(record_message(rejoin->data()));
        EXPECT_EQ(asked.power, 0x0041);
        EXPECT_EQ(asked.passcode, 0x5150);
        Bytes accept = *rejoin;
        record_set_flag(accept, FLAG_ACCEPT);
        server.send(accept);

        std::optional<Bytes> name_request = server.read();
        if (!name_request) {
            ADD_FAILURE() << "no map name request";
            return;
        }
        EXPECT_EQ(record_type(*name_request), MSG_MAP_NAME);
        server.send(board::map_name_record(""));
        std::optional<Bytes> definition_request = server.read();
        if (!definition_request) {
            ADD_FAILURE() << "no definition request";
            return;
        }
        server.send(board::as_record(board.map_message()));

        // No answer to the map name: the three requests come next.
        for (uint16_t type : {MSG_ASSIGNMENT, MSG_CENTRE_OWNERSHIP, MSG_POSITION}) {
            std::optional<Bytes> request = server.read();
            if (!request) {
            ADD_FAILURE() << "missing request " << type;
            return;
        }
            EXPECT_EQ(record_type(*request), type);
        }
        server.send(board::assignment_record(0x0041, 0x5150));
        server.send(board::as_record(board.centres("0: PAR; 1: MUN")));
        server.send(board::as_record(board.position(SEASON_SPRING, 1902, "0 A PAR; 1 A MUN")));
        {
            std::optional<Bytes> tag = server.read();
            check_orders(tag, server.read(), 1902);
        }
        server.send(record_of(MSG_SESSION_END, MSG_HEADER_SIZE));
        EXPECT_TRUE(server.client_closed());
    });

    EXPECT_EQ(brox_game_join(&session, "tcpbot", "1.0"), 1);
    EXPECT_EQ(session.rejoining, 1);
    play();
    brox_terminate(&session);
    vorn_client_disconnect();
    script.join();

    EXPECT_EQ(seen_types.back(), MSG_SESSION_END);
    std::ifstream in("broxgame.log", std::ios::binary);
    EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(in), {}), (Bytes{0x41, 0x00, 0x50, 0x51}));
}

TEST_F(TcpGame, NoServerShowsTheConnectionFailure) {
    ASSERT_EQ(configure_port(unused_port()), 1);
    brox_game_join(&session, "tcpbot", "1.0");  // the join itself cannot go out
    play();
    EXPECT_EQ(fake_notice::shown(),
              std::vector<std::string>{"Connection failure.  Check host (-n/-i) and port (-p)."});
}

}  // namespace
