// The local game server's record of one game: the referee that holds the
// game and applies its rules, the bots' connections (seats, links, the
// rejoin limits), the game record's files and the report.  Types only: the
// functions that work on it live each in its own file, and the course of
// the game (game.h) calls them, never the other way round.  Nothing here
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

// The phase a bot's client library says its next orders were chosen for.
struct PhaseTag {
    bool given = false;    // a tag came and no orders have used it yet
    uint16_t season = 0;
    uint16_t year = 0;
};

// Requests a connection has had answered in the phase `phase_key` names
// (year and season; limits.h: MAP_DEFINITIONS_PER_PHASE).
struct RequestCounts {
    uint32_t phase_key = 0;
    uint16_t map_definition = 0;
    uint16_t other = 0;
};

// One bot connection as the game sees it.
struct Link {
    LinkState state = LinkState::CONNECTED;
    int power = -1;                 // the power it plays, -1 before joining
    bool close_when_sent = false;   // close once the outbox has gone out
    std::vector<Record> outbox;     // records for the connection layer, oldest first
    size_t outbox_bytes = 0;        // bytes of the records in outbox
    PhaseTag orders_phase;          // the phase of its next orders message
    std::string secret;             // the seat secret it sent (seat_secrets.h); "" for none

    // Limits against hostile bots.
    std::string peer;               // "address:port" of the bot, from the connection layer
    int64_t expires_ms = -1;        // dropped at this time unless it plays by then; -1: never
    int claimed_seat = -1;          // the power its rejoin named, -1 for none
    Record rejoin;                  // the rejoin request while HELD
    RequestCounts requests;         // requests answered in this phase
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
    std::string secret;     // what a join or rejoin must carry (seat_secrets.h); "" for none
    int link = -1;          // the bot's link now, -1 when it has gone
    std::string bot_name;   // from the join, printable characters only
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
    BroxReferee *referee = nullptr; // the game and every rule of it
    GameStage stage = GameStage::WAITING;
    int64_t now_ms = 0;             // the connection layer's clock
    int64_t deadline_ms = 0;        // when the current phase resolves at the latest
    int exit_status = 0;            // non-zero when the game could not go on

    // Connections (links.h, rejoins.h, passcode.h).  Groups of connections
    // are indexed by power, with one more index after the powers for
    // connections without a power.
    std::vector<Seat> seats;                     // by power index
    std::vector<std::string> preset_secrets;     // by power, from --seat-secrets; empty without
    std::vector<Link> links;                     // by link id
    std::vector<uint32_t> free_links;            // ids of CLOSED links, for reuse
    uint32_t passcode_draws = 0;                 // passcodes drawn from options.passcode_seed
    std::vector<RejoinGate> seat_gates;          // by power, and one for rejoins naming none
    std::map<std::string, RejoinGate> peer_gates;// by address, up to REJOIN_TRACKED_PEERS
    std::vector<uint32_t> held_rejoins;          // links whose rejoin waits its turn, oldest first

    // The record (record_files.h).
    std::FILE *record_file = nullptr;            // one JSON line per phase
    std::vector<int> recorded_drops;             // dropped-connection lines per group
    std::map<std::pair<int, std::string>, long> unrecorded_drops; // by seat (-1 none) and reason
    size_t recorded_phases = 0;                  // phase lines written so far; numbers the pictures

    // The report (report.h).
    std::FILE *log = nullptr;                    // progress and events; null when quiet
    std::vector<LineBudget> log_budgets;         // log lines per group
    std::vector<CentreCount> centre_history;     // for the final table
};

// The current phase and the Map it is played on.
inline Position *game_position(const Game *game) { return brox_referee_position(game->referee); }
inline const Map *game_map(const Game *game) { return game_position(game)->map; }
