// brox-fuzz-corpus: writes the seed corpus of every fuzz target, one
// directory per target under the directory given, from the fuzz boards
// (the default map, a map of 20 powers, a hand-drawn board).  The files are
// committed; run this again after a change of the input formats:
//
//   brox-fuzz-corpus fuzz/corpus
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "board.h"
#include "common/assignment_message.h"
#include "common/bytes.h"
#include "common/event_record.h"
#include "common/record.h"
#include "fuzz_maps.h"
#include "fuzz_seams.h"
#include "fuzz_server_game.h"
#include "platform/wire.h"
#include "session/gof_message.h"
#include "session/map_name_message.h"
#include "session/rejoin_message.h"
#include "tools/server/game.h"
#include "tools/server/passcode.h"
#include "world/centres_message.h"
#include "world/map_message.h"
#include "world/position.h"
#include "world/position_message.h"

namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

fs::path root;

void write(const std::string &target, const std::string &name, const Bytes &bytes) {
    fs::path directory = root / target;
    fs::create_directories(directory);
    std::ofstream out(directory / name, std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", (directory / name).c_str());
        std::exit(1);
    }
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes &part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

Bytes byte(uint8_t value) { return Bytes{value}; }

// A message of `length` bytes with the header filled in and a zero body.
Bytes message(uint16_t type, uint16_t length, uint8_t flag = FLAG_PLAIN) {
    Bytes bytes(length, 0);
    msg_set_flag(msg_header_init(bytes.data(), type, length), flag);
    return bytes;
}

Bytes record(const Bytes &message_bytes) { return board::as_record(message_bytes); }

Bytes event(uint16_t code, uint32_t status) {
    EventRecord bytes = event_record_make({status, code});
    return Bytes(bytes.begin(), bytes.end());
}

// A stop record: the kind byte and six bytes the session does not read.
Bytes stop(uint8_t kind = KIND_STOP_A) {
    Bytes bytes(EVENT_RECORD_SIZE, 0);
    bytes[RECORD_KIND_AT] = kind;
    return bytes;
}

Bytes assignment(uint8_t power, uint16_t passcode) {
    Bytes bytes(ASSIGNMENT_LENGTH, 0);
    assignment_write(bytes.data(), {static_cast<uint16_t>(power << 8 | 0x41), passcode});
    return bytes;
}

Bytes map_name() {
    const char name[] = "FUZZ";
    Bytes bytes(map_name_message_length(sizeof name - 1), 0);
    map_name_write(bytes.data(), name);
    return bytes;
}

// ---------------------------------------------------------------------------
// Targets
// ---------------------------------------------------------------------------

void map_corpus() {
    const char *names[] = {"default", "twenty_powers", "hand_board"};
    for (uint8_t b = 0; b < FUZZ_BOARD_COUNT; b++) write("fuzz_map", names[b], fuzz_board_messages(b).map);
    board::MapDefinition empty;
    empty.power_count = 2;
    write("fuzz_map", "no_provinces", empty.bytes());
    board::Board lonely(R"(
        powers 1
        land A*0 B
        coast C/x/y
        sea S
    )");
    write("fuzz_map", "no_adjacencies", lonely.map_message());
}

void centres_corpus() {
    for (uint8_t b = 0; b < FUZZ_BOARD_COUNT; b++)
        for (int table = 0; table < 2; table++)
            write("fuzz_centres", "board" + std::to_string(b) + "_table" + std::to_string(table),
                  join({byte(b), fuzz_board_messages(b).centres[table]}));
    write("fuzz_centres", "unowned_and_outside",
          join({byte(1), board::centre_message({{11, 3}, {19, 80}, {20, 1}, {0, 300}, {POWER_UNOWNED, 0}})}));
}

// Choice bytes for six phases of up to 40 units: a spread of candidates.
Bytes choices(uint8_t seed) {
    Bytes bytes(240);
    for (size_t i = 0; i < bytes.size(); i++) bytes[i] = static_cast<uint8_t>(1 + (i * 7 + seed) % 9);
    return bytes;
}

// Input of the position target: season choice, board choice (with the
// search bit), the message, the searching power, then the order choices.
void position_corpus() {
    constexpr uint8_t OWN_SEASON = 6;
    constexpr uint8_t SEARCH = 0x80;
    for (uint8_t b = 0; b < FUZZ_BOARD_COUNT; b++) {
        const FuzzBoardMessages &messages = fuzz_board_messages(b);
        for (size_t p = 0; p < messages.positions.size(); p++) {
            std::string name = "board" + std::to_string(b) + "_position" + std::to_string(p);
            uint8_t table = static_cast<uint8_t>(b + FUZZ_BOARD_COUNT * (p % 2));
            write("fuzz_position", name,
                  join({byte(OWN_SEASON), byte(table), messages.positions[p], byte(0),
                        choices(static_cast<uint8_t>(p))}));
        }
    }
    // The hand board's spring position in every season, and searched for
    // each of its powers.
    const FuzzBoardMessages &hand = fuzz_board_messages(2);
    for (uint8_t season = 0; season < 6; season++)
        write("fuzz_position", "hand_board_season" + std::to_string(season),
              join({byte(season), byte(2), hand.positions[0], byte(0), choices(season)}));
    for (uint8_t power = 0; power < 3; power++)
        write("fuzz_position", "hand_board_search_power" + std::to_string(power),
              join({byte(OWN_SEASON), byte(2 | SEARCH), hand.positions[0], byte(power), choices(power)}));
}

void session_corpus() {
    const FuzzBoardMessages &hand = fuzz_board_messages(2);
    const FuzzBoardMessages &standard = fuzz_board_messages(0);
    constexpr uint8_t REJOIN = 1;
    constexpr uint8_t SUBMIT = 0x10;
    Bytes fresh_hand = join({record(assignment(0, 77)), record(map_name()), record(hand.map),
                             record(hand.centres[0]), record(hand.positions[0]), record(hand.positions[1]),
                             record(hand.centres[1]), record(hand.positions[2])});
    write("fuzz_session", "fresh_join", join({byte(SUBMIT), fresh_hand, record(message(MSG_GAME_END, MSG_HEADER_SIZE))}));
    write("fuzz_session", "fresh_join_default_map",
          join({byte(SUBMIT), event(EVENT_CONNECT, 0), record(assignment(2, 5)), record(map_name()),
                record(standard.map), record(standard.centres[1]), record(standard.positions[1]),
                record(message(MSG_SESSION_END, MSG_HEADER_SIZE))}));
    Bytes rejoin_file = {1, 0x41, 0x22, 0x11};  // power token 0x4101, passcode 0x1122
    write("fuzz_session", "rejoin_accepted",
          join({byte(REJOIN | SUBMIT), rejoin_file, record(message(MSG_REJOIN, REJOIN_LENGTH, FLAG_ACCEPT)),
                record(map_name()), record(hand.map), record(assignment(1, 0x1122)),
                record(hand.centres[1]), record(hand.positions[0]), stop()}));
    write("fuzz_session", "rejoin_refused",
          join({byte(REJOIN), rejoin_file, record(message(MSG_REJOIN, REJOIN_LENGTH, FLAG_REJECT)), fresh_hand,
                event(EVENT_CONNECTION_LOST, 0)}));
    // Every third send fails: the map name comes back to the bot at once.
    write("fuzz_session", "failing_sends",
          join({byte(3 << 1), record(map_name()), record(map_name()), record(hand.map),
                record(hand.centres[0]), event(EVENT_CONNECT, 9)}));
    write("fuzz_session", "two_map_names_and_a_map_without_one",
          join({byte(0), record(map_name()), record(map_name()), record(hand.map), record(hand.map),
                record(message(MSG_GOF, GOF_LENGTH)), Bytes{0, 1, 2, 3, 4, 5, 6}, stop(KIND_STOP_B)}));
}

void wire_corpus() {
    auto frame = [](const Bytes &record_bytes) {
        Bytes prefix(WIRE_PREFIX_SIZE);
        wire_put_prefix(prefix.data(), static_cast<uint32_t>(record_bytes.size()));
        return join({prefix, record_bytes});
    };
    const FuzzBoardMessages &hand = fuzz_board_messages(2);
    Bytes frames = join({frame(record(assignment(0, 1))), frame(record(map_name())), frame(record(hand.map)),
                         frame(record(hand.positions[0]))});
    write("fuzz_wire", "frames", join({byte(3), frames}));
    Bytes truncated(frames.begin(), frames.end() - 5);
    write("fuzz_wire", "truncated", join({byte(7), truncated}));
    write("fuzz_wire", "event_on_the_wire", join({byte(1), frame(record(map_name())), frame(event(EVENT_CONNECT, 0))}));
    Bytes huge(WIRE_PREFIX_SIZE);
    wire_put_prefix(huge.data(), 0x10001);
    write("fuzz_wire", "oversized", join({byte(0), frame(record(map_name())), huge}));
    Bytes wrong_length = record(map_name());
    msg_set_length(record_message(wrong_length.data()), 15);
    write("fuzz_wire", "length_disagrees", join({byte(9), frame(wrong_length)}));
}

// Orders of power 0 for the default opening, as the library submits them:
// every unit holds, or every unit takes its first move.
Bytes opening_orders(bool move) {
    const FuzzBoard &board = fuzz_board(0);
    Bytes message = fuzz_board_messages(0).positions[0];
    Position *position = position_build(board.map, board.centres[0], message.data());
    if (!position) std::exit(1);
    for (uint16_t u = 0; move && u < position->unit_count; u++) {
        Unit *unit = position->units[u];
        LumAvlTree *set = &unit->candidates;
        for (void *item = LUM_AVL_ITEM(set, set->first); item;
             item = lum_avl_next(set, &static_cast<Order *>(item)->node)) {
            if (static_cast<Order *>(item)->token != ORD_MOVE) continue;
            unit->order = *static_cast<Order *>(item);
            break;
        }
    }
    std::vector<Bytes> sent;
    fuzz_seams::capture_sends(&sent);
    brox_order_submit(nullptr, position, 0x0041);
    fuzz_seams::capture_sends(nullptr);
    brox_position_free(position);
    if (sent.size() != 1) std::exit(1);
    return sent[0];
}

// Events of the server target.
enum : uint8_t { CONNECT, RECORD, CLOSE_LINK, CLOCK, CARRY_AWAY };

// A bot connects from the address the value names.
Bytes connect(uint16_t address = 1) { return {CONNECT, static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8)}; }
// The clock moves on by (quarters + 1) quarter seconds; by default a
// minute, which passes a deadline.
Bytes clock(uint8_t quarters = 239) { return {CLOCK, quarters}; }

Bytes send_from(uint8_t link, const Bytes &record_bytes) {
    Bytes size(2);
    put_u16(size.data(), 0, static_cast<uint16_t>(record_bytes.size()));
    return join({byte(RECORD), byte(link), size, record_bytes});
}

Bytes join_request(const char *name) { return board::join_record(name, "1"); }

Bytes map_name_answer(const char *name, uint8_t flag) { return board::map_name_record(name, flag); }

Bytes rejoin_request(uint16_t token, uint16_t passcode) { return board::rejoin_record(token, passcode); }

void server_corpus() {
    Bytes hold = opening_orders(false);
    Bytes moves = opening_orders(true);
    Bytes requests =
        join({send_from(0, record(message(MSG_MAP_DEFINITION, static_cast<uint16_t>(map_message_size(0, 0))))),
              send_from(0, record(message(MSG_ASSIGNMENT, ASSIGNMENT_LENGTH))),
              send_from(0, record(message(MSG_CENTRE_OWNERSHIP, static_cast<uint16_t>(centres_message_size(0))))),
              send_from(0, record(message(MSG_POSITION, static_cast<uint16_t>(position_message_size(0)))))});
    write("fuzz_server", "one_bot_plays",
          join({byte(0), connect(), send_from(0, join_request("bot")), byte(CARRY_AWAY),
                send_from(0, map_name_answer("standard", FLAG_ACCEPT)), requests, byte(CARRY_AWAY),
                send_from(0, moves), byte(CARRY_AWAY), send_from(0, hold), clock(), byte(CARRY_AWAY),
                clock(), clock(), byte(CARRY_AWAY)}));
    // Deadlines alone carry the game to its end; a bot arriving then is
    // sent away.
    Bytes deadlines;
    for (int phase = 0; phase < 12; phase++) deadlines = join({deadlines, clock(), byte(CARRY_AWAY)});
    write("fuzz_server", "the_game_runs_out",
          join({byte(0), connect(), send_from(0, join_request("bot")),
                send_from(0, map_name_answer("standard", FLAG_ACCEPT)), deadlines, connect(),
                send_from(1, join_request("late")), byte(CARRY_AWAY)}));
    write("fuzz_server", "two_bots_one_leaves_and_a_rejoin_is_refused",
          join({byte(1), connect(), connect(), send_from(0, join_request("first")),
                send_from(1, join_request("second")), send_from(0, map_name_answer("standard", FLAG_ACCEPT)),
                send_from(1, map_name_answer("standard", FLAG_ACCEPT)), byte(CARRY_AWAY), byte(CLOSE_LINK),
                byte(0), connect(), send_from(0, rejoin_request(0x0041, 7)), byte(CARRY_AWAY),
                clock(), byte(CARRY_AWAY)}));
    write("fuzz_server", "refused_map_and_malformed_records",
          join({byte(0), connect(), send_from(0, join_request("bot")),
                send_from(0, map_name_answer("other", FLAG_REJECT)), connect(),
                send_from(1, record(message(MSG_JOIN, 10))),  // a join of the wrong length
                send_from(5, join_request("nobody")), connect(), send_from(1, join_request("late")),
                send_from(1, map_name_answer("standard", FLAG_ACCEPT)),
                send_from(1, Bytes(hold.begin(), hold.end() - 4)), byte(CARRY_AWAY)}));

    // Power 0's bot leaves.  Tries at its passcode, each from a connection
    // of its own, are answered at once, then held for longer and longer; a
    // second one held for the same power is closed; the thief gives up and
    // the bot itself, back with the passcode the seed gave it, waits for
    // its turn.  (A closed link's id goes to the next connection.)
    const uint16_t passcode = passcode_from_seed(FUZZ_PASSCODE_SEED, 0);
    Bytes tries;
    for (uint8_t n = 0; n < 8; n++)
        tries = join({tries, connect(7), send_from(0, rejoin_request(0x0041, static_cast<uint16_t>(100 + n))),
                      clock(n < 4 ? 0 : static_cast<uint8_t>((4 << (n - 4)) - 1)), byte(CARRY_AWAY)});
    write("fuzz_server", "rejoin_tries_wait_longer_and_the_bot_gets_back",
          join({byte(1), connect(), connect(), send_from(0, join_request("first")),
                send_from(1, join_request("second")), send_from(0, map_name_answer("standard", FLAG_ACCEPT)),
                send_from(1, map_name_answer("standard", FLAG_ACCEPT)), byte(CARRY_AWAY), byte(CLOSE_LINK),
                byte(0), tries, connect(8), send_from(0, rejoin_request(0x0041, 1)), connect(9),
                send_from(2, rejoin_request(0x0041, passcode)), byte(CARRY_AWAY), byte(CLOSE_LINK), byte(0),
                connect(9), send_from(0, rejoin_request(0x0041, passcode)), clock(63), byte(CARRY_AWAY),
                clock(), byte(CARRY_AWAY)}));
    // Rejoins naming no power, from many addresses and from one; a
    // connection that never joins, one that joins and never accepts the
    // map, one let go that keeps its connection: all outlive the handshake
    // time.
    Bytes nobody;
    for (uint16_t n = 0; n < 30; n++)
        nobody = join({nobody, connect(static_cast<uint16_t>(n % 2 ? 5 : 300 * n)),
                       send_from(3, rejoin_request(0x1441, 1)), clock(0), byte(CARRY_AWAY)});
    write("fuzz_server", "strangers_time_out",
          join({byte(1), connect(), connect(), connect(), send_from(1, join_request("slow")),
                send_from(2, join_request("picky")), byte(CARRY_AWAY), nobody,
                send_from(2, map_name_answer("other", FLAG_REJECT)), clock(40), byte(CARRY_AWAY), clock(),
                byte(CARRY_AWAY)}));
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus directory>\n", argv[0]);
        return 2;
    }
    root = argv[1];
    map_corpus();
    centres_corpus();
    position_corpus();
    session_corpus();
    wire_corpus();
    server_corpus();
    return 0;
}
