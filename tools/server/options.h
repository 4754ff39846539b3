// The local game server's command line: where it listens, which map it
// plays, how long a game and a phase last, who is awaited and where the
// game record goes.
#pragma once

#include <cstdint>
#include <string>

#include "tools/server/limits.h"
#include "vorn.h"

enum class Verbosity { QUIET, NORMAL, VERBOSE };

struct ServerOptions {
    uint16_t port = VORN_DEFAULT_PORT; // 0: any free port
    int years = 5;                     // game years to play
    bool use_seed = false;             // false: the built-in default map
    uint64_t seed = 0;                 // map seed when use_seed
    bool sized = false;                // --provinces, --powers or --homes given
    int provinces = 75;                // generated map's size when sized
    int powers = 7;
    int homes = 3;
    std::string map_dir;               // a folder written by brox-mapgen; "" when none
    int64_t deadline_ms = 20000;       // longest wait for a phase's orders
    std::string out = "game-out";      // folder of the game record and final picture
    int players = 0;                   // bots awaited before the start; 0: one per power
    Verbosity verbosity = Verbosity::NORMAL;
    uint32_t passcode_seed = 0;        // tests and fuzzing only: fixed passcodes from this seed;
                                       // 0 (the command line's only choice): the system's random source
    ServerLimits limits;               // bounds against hostile bots
    std::string seat_secrets;          // --seat-secrets: a file of one secret per power; "" for none
};

// Reads the command line into *options.  Returns 0 to go on, -1 when the
// help was shown, or 2 after printing a complaint to standard error.
int server_options_parse(int argc, char **argv, ServerOptions *options);
