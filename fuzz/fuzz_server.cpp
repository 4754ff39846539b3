// Fuzz target: the local game server's handling of the records bots send
// (join, rejoin, set-up requests and answers, orders) and of its limits
// (held rejoins, handshake time, dropped connections), driven without
// sockets as the connection layer drives it.  Input: a byte giving the
// number of bots awaited (1 to 7), then events, each a byte whose value
// modulo 5 says what happens:
//   0  a bot connects: a new link, from the address a 16-bit value names;
//   1  a link sends a record: a byte naming the link (any value, so links
//      that are closed or do not exist are tried too), a 16-bit size, then
//      that many bytes, handed over in a block of exactly that size;
//   2  a link's connection closes: a byte naming the link;
//   3  the clock moves on by (a byte + 1) quarter seconds, up to 64 s
//      (the phase's deadline is a minute, as is a rejoin's longest wait);
//   4  the connection layer carries every outbox away.
// The game is released at the end.  Every record the server queues must be
// one the wire allows, the seats, links and held rejoins must agree, and
// after a tick nothing may be due at once (the poll loop would spin).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_checks.h"
#include "fuzz_input.h"
#include "fuzz_server_game.h"
#include "platform/wire.h"
#include "tools/server/bot_protocol.h"
#include "tools/server/game.h"

namespace {

enum Event : uint8_t { CONNECT, RECORD, CLOSE_LINK, CLOCK, CARRY_AWAY, EVENT_KINDS };

constexpr int MAX_PLAYERS = 7;
constexpr int64_t DEADLINE_MS = 60000;
constexpr int64_t QUARTER_SECOND_MS = 250;

// The game record goes to a folder of the target's own under $TMPDIR (or
// /tmp); every game overwrites it.
std::string output_folder;

// Generating the default map costs more than a whole game of records, so
// every game starts from one copy made once.
const GeneratedMap &default_map() {
    static const GeneratedMap generated = mapgen_default();
    return generated;
}

// The link an input byte names: a link of the game for most values, one
// past the last for the rest.
uint32_t link_named(const Game &game, uint8_t value) {
    return static_cast<uint32_t>(value % (game.links.size() + 1));
}

void carry_away(Game *game) {
    for (uint32_t l = 0; l < game->links.size(); l++) {
        Link &link = game->links[l];
        if (link.state == LinkState::CLOSED) fuzz_require(link.outbox.empty());
        for (const Record &record : link.outbox) fuzz_require(wire_record_valid(record.data(), record.size()));
        link.outbox.clear();
        // As the connection layer does: a bot let go is recorded for why.
        if (link.close_when_sent)
            game_link_drop(game, l, link.leave_reason ? link.leave_reason : "closed", std::string(link.leave_detail));
    }
}

// A seat held by a link is held by a live link of that power; a held
// rejoin is a HELD link, at most one per power (and one naming none); a
// link given back for reuse is closed.
void check_seats(const Game &game) {
    for (size_t p = 0; p < game.seats.size(); p++) {
        int link = game.seats[p].link;
        if (link < 0) continue;
        fuzz_require(static_cast<size_t>(link) < game.links.size());
        fuzz_require(game.links[static_cast<size_t>(link)].state != LinkState::CLOSED);
        fuzz_require(game.links[static_cast<size_t>(link)].power == static_cast<int>(p));
    }
    size_t held = 0;
    for (const Link &link : game.links) held += link.state == LinkState::HELD;
    fuzz_require(held == game.held_rejoins.size() && held <= game.seats.size() + 1);
    for (uint32_t link : game.held_rejoins) fuzz_require(game.links[link].state == LinkState::HELD);
    for (uint32_t link : game.free_links) fuzz_require(game.links[link].state == LinkState::CLOSED);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    const char *base = std::getenv("TMPDIR");
    std::string folder = std::string(base && *base ? base : "/tmp") + "/brox-fuzz-server-XXXXXX";
    if (!mkdtemp(folder.data())) std::abort();
    output_folder = folder;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzBytes input(data, size);
    ServerOptions options;
    options.players = 1 + input.next() % MAX_PLAYERS;
    options.years = 2;
    options.out = output_folder;
    options.verbosity = Verbosity::QUIET;
    options.passcode_seed = FUZZ_PASSCODE_SEED;
    options.deadline_ms = DEADLINE_MS;
    Game game;
    std::string error;
    fuzz_require(game_init_on_map(&game, options, default_map(), "standard", &error));
    int64_t now = 0;
    while (input.left()) {
        switch (input.next() % EVENT_KINDS) {
        case CONNECT: {
            uint16_t address = input.next16();
            game_link_open(&game, "10." + std::to_string(address >> 8) + "." + std::to_string(address & 0xFF) +
                                      ".1:4000");
            break;
        }
        case RECORD: {
            uint32_t link = link_named(game, input.next());
            size_t record_size = input.next16();
            if (record_size > input.left()) record_size = input.left();
            std::vector<uint8_t> record(input.here(), input.here() + record_size);
            input.skip(record_size);
            std::string why;
            if (server_take_record(&game, link, record.data(), record.size(), &why) == RecordVerdict::CLOSE)
                game_link_drop(&game, link, "malformed", why);
            break;
        }
        case CLOSE_LINK:
            game_link_drop(&game, link_named(game, input.next()), "closed", "the bot closed the connection");
            break;
        case CLOCK:
            now += (input.next() + 1) * QUARTER_SECOND_MS;
            game_tick(&game, now);
            fuzz_require(game_wait_ms(&game) != 0);
            break;
        default:
            carry_away(&game);
            break;
        }
        check_seats(game);
    }
    carry_away(&game);
    game_release(&game);
    return 0;
}
