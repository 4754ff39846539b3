// The local game server's state of one game: the map and its messages, the
// seats of the powers, the links of the connected bots with the records
// waiting to go out to them, and the phase being played.  Nothing here
// touches a socket: the connection layer feeds records in and carries the
// outgoing records away.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "brox.h"
#include "tools/mapgen/mapgen.h"
#include "tools/server/limits.h"
#include "tools/server/options.h"

using Record = std::vector<uint8_t>;  // kind byte, then the message

enum class LinkState {
    CONNECTED, // no power yet: expecting a join or a rejoin
    HELD,      // sent a rejoin that waits for its turn (the rejoin limits)
    ASSIGNED,  // joined; waiting for the bot to accept the map
    READY,     // plays its power: receives every phase
    CLOSED,    // gone; a later connection may be given its id
};

// One bot connection as the game sees it.
struct Link {
    LinkState state = LinkState::CONNECTED;
    int power = -1;                 // the power it plays, -1 before joining
    bool close_when_sent = false;   // close once the outbox has gone out
    std::vector<Record> outbox;     // records for the connection layer, oldest first
    size_t outbox_bytes = 0;        // bytes of the records in outbox

    // Limits against hostile bots.
    std::string peer;               // "address:port" of the bot, from the connection layer
    int64_t expires_ms = -1;        // dropped at this time unless it plays by then; -1: never
    int claimed_seat = -1;          // the power its rejoin named, -1 for none
    Record rejoin;                  // the rejoin request while HELD
    const char *leave_reason = nullptr; // why the server let it go, for the record
    std::string leave_detail;
};

// Lines printed about one group of connections, and those held back.
struct LineBudget {
    int shown = 0;
    long hidden = 0;
};

// A power's place in the game.
struct Seat {
    bool assigned = false;  // handed to a bot at least once: its orders are awaited
    uint16_t passcode = 0;  // what a rejoin must present
    int link = -1;          // the bot's link now, -1 when it has gone
    std::string bot_name;   // from the join, printable characters only
};

// An order chosen for one unit of the server's Position.
struct ChosenOrder {
    uint16_t unit = 0;  // index in the Position's units
    Order order = {};   // a copy of one of that unit's candidates
};

// An entry of an orders message that was not used, and why.
struct Refusal {
    uint16_t entry = 0;              // its place in the message, from 1
    std::string reason;              // "not a legal order for this unit", ...
    std::vector<uint8_t> bytes;      // the entry as sent, for the record's text of it
};

// What one power sent for the current phase.
struct PowerOrders {
    bool received = false;           // an orders message arrived this phase
    uint16_t entries = 0;            // entries it held
    uint16_t refused = 0;            // entries not used: unknown unit or illegal order
    std::vector<ChosenOrder> chosen; // the accepted ones
    std::vector<Refusal> refusals;   // each refused entry and why
};

enum class GameStage { WAITING, PLAYING, OVER };

// Supply centres per power at one moment, for the final table.
struct CentreCount {
    std::string label;              // "start" or the year
    std::vector<uint16_t> per_power;
};

struct Game {
    ServerOptions options;
    GeneratedMap generated;         // map, opening messages and layout
    std::string map_name;
    Map *map = nullptr;
    CentreTable *centres = nullptr; // the game's own reference
    Position *position = nullptr;   // the phase being played, built from position_message
    Record position_message;        // its MSG_POSITION, from the type word, as sent

    std::vector<Seat> seats;        // by power index
    std::vector<Link> links;        // by link id
    std::vector<PowerOrders> orders;// by power index, for the current phase

    GameStage stage = GameStage::WAITING;
    uint16_t first_year = 0;
    int64_t now_ms = 0;             // the connection layer's clock
    int64_t deadline_ms = 0;        // when the current phase resolves at the latest
    uint32_t passcode_draws = 0;    // passcodes drawn from options.passcode_seed
    int exit_status = 0;            // non-zero when the game could not go on

    std::FILE *record_file = nullptr; // one JSON line per phase
    std::FILE *log = nullptr;         // progress and events; null when quiet
    std::vector<CentreCount> centre_history;
    size_t recorded_phases = 0;       // phase lines written so far; numbers the pictures

    // Limits against hostile bots.  Groups of connections are indexed by
    // power, with one more index after the powers for connections without
    // a power.
    std::vector<uint32_t> free_links;            // ids of CLOSED links, for reuse
    std::vector<RejoinGate> seat_gates;          // by power, and one for rejoins naming none
    std::map<std::string, RejoinGate> peer_gates;// by address, up to REJOIN_TRACKED_PEERS
    std::vector<uint32_t> held_rejoins;          // links whose rejoin waits its turn, oldest first
    std::vector<LineBudget> log_budgets;         // log lines per group
    std::vector<int> recorded_drops;             // dropped-connection lines per group
    std::map<std::pair<int, std::string>, long> unrecorded_drops; // by seat (-1 none) and reason
};

// Sets up the game: the map (default or from the seed), its Map, the
// opening CentreTable and Position, the seats, the output folder and the
// game record.  Returns false, with a reason in *error, when any of these
// fails; game_release is still the caller's.
bool game_init(Game *game, const ServerOptions &options, std::string *error);
// game_init on a map generated beforehand, named `map_name`; the options'
// map choice is not read.  Lets a caller that sets up many games (the
// fuzz target) generate the map once.
bool game_init_on_map(Game *game, const ServerOptions &options, GeneratedMap generated,
                      const std::string &map_name, std::string *error);
// Releases the Position, the CentreTable reference and the Map, and closes
// the game record.
void game_release(Game *game);

// A new bot connection from `peer` ("address:port"); returns its link id,
// which may be that of a link closed before.  It must play a power within
// the handshake timeout.
uint32_t game_link_open(Game *game, const std::string &peer = std::string());
// The connection of a link is gone: its power, if any, waits for a rejoin.
void game_link_closed(Game *game, uint32_t link);
// Drops a link: its line in the game record (while the game is on), a log
// line, then game_link_closed.  `reason` is a short code ("closed",
// "malformed", "output-limit", ...), `detail` says more.
void game_link_drop(Game *game, uint32_t link, const char *reason, const std::string &detail);
// Tells the bot that its session is over (MSG_SESSION_END) and closes the
// link once that has gone out; `reason` and `detail` go to the record then.
void link_let_go(Game *game, uint32_t link, const char *reason, const std::string &detail);
// Closes the link once its outbox has gone out, without MSG_SESSION_END;
// `reason` and `detail` go to the record then.
void link_close_when_sent(Game *game, uint32_t link, const char *reason, const std::string &detail);

// Sets the clock; drops links whose handshake time is over, weighs held
// rejoins whose turn has come and resolves the phase when its deadline has
// passed.
void game_tick(Game *game, int64_t now_ms);
// Milliseconds until the game next needs a tick (a deadline, a link's
// handshake time, a held rejoin's turn), or -1.
int64_t game_wait_ms(const Game *game);

// Starts the first phase once enough bots are ready.
void game_try_start(Game *game);
// Resolves the phase when every power whose orders are awaited has sent
// them.  A power is awaited while its bot is connected; when no bot is
// connected at all, the phase waits for its deadline.
void game_resolve_when_complete(Game *game);
// Ends the game at once, as when the server is told to stop.
void game_stop(Game *game);

// Appends a record to a link's outbox (nothing for a closed link).
void link_send(Game *game, uint32_t link, Record record);
// Sends the current phase's centre ownership and position to one link.
void link_send_phase(Game *game, uint32_t link);

// Whether a power has anything to order in the current phase: a unit in a
// movement phase, a dislodged unit in a retreat phase, an adjustment in
// winter.
bool game_power_must_order(const Game *game, uint16_t power);
// The power token handed to the bot of power `power`.
uint16_t game_power_token(uint16_t power);
// A fresh non-zero passcode in *passcode: from the system's random source,
// each draw on its own, or from options.passcode_seed when it is set.
// False when the random source fails.
bool game_new_passcode(Game *game, uint16_t *passcode);
// The passcode that draw number `draw` gives with a fixed seed.
uint16_t passcode_from_seed(uint32_t seed, uint32_t draw);
