// Parsing the local game server's command line.
#include "tools/server/options.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "brox.h"
#include "tools/common/option_value.h"

namespace {

const char HELP[] = R"(Usage: brox-server [options]

Runs one game on loopback for bots built on the Brox library.  The first
line printed is "port N": the port the server listens on.

Options:
  --port N         port to listen on, 0 to 65535; 0 picks a free one
                   (default 16713)
  --years N        game years to play, 1 to 1000 (default 5); the game also
                   ends when one power owns more than half the supply centres

The map (default: the built-in standard map of 7 powers and 75 provinces):
  --map DIR        play the map in DIR, as brox-mapgen writes it: map.bin,
                   centres.bin, position.bin and layout.json
  --seed N         play a generated map of this seed, 0 or more
  --provinces N    generated map: provinces, 8 to 300 (default 75)
  --powers N       generated map: powers, 1 to 20 (default 7)
  --homes N        generated map: home centres per power, 1 to 5 (default 3)
                   Any of these three makes the map that brox-mapgen makes
                   from the same options (seed 1 unless --seed is given).

  --deadline S     seconds to wait for a phase's orders, more than 0 and at
                   most 86400 (default 20); a power whose orders have not
                   come holds, disbands its dislodged units, waives its
                   builds and has its removals due made for it (farthest
                   from home first); orders that come after their phase are
                   refused
  --players N      bots to wait for before the first phase, 1 to 20 (default:
                   one per power); powers without a bot hold throughout
  --out DIR        folder for the game record (game.jsonl), a picture of
                   every phase (phases/), the replay page (replay.html), the
                   final board (final-board.svg) and the centre table
                   (centres.txt); created when missing (default game-out)
  --seat-secrets FILE
                   one secret per line, line N for power N (16 to 64
                   printable characters without spaces): a bot joins or
                   rejoins only the seat whose secret it carries
                   (BROX_SEAT_SECRET); brox-tournament writes this file
  --quiet          print only the port line and errors
  --verbose        also print every join, rejoin, disconnection and refused
                   order
  --help           show this text
)";

constexpr const char *PROGRAM = "brox-server";
constexpr long long MAX_YEARS = 1000;
constexpr double MAX_DEADLINE_S = 86400;

// An integer option: its name, range, and where the value goes.
struct IntegerOption {
    const char *name;
    long long lo, hi;
};

const IntegerOption INTEGER_OPTIONS[] = {
    {"--port", 0, 65535},          {"--years", 1, MAX_YEARS},
    {"--seed", 0, INT64_MAX},      {"--provinces", 8, MAX_PROVINCES},
    {"--powers", 1, MAX_POWERS},   {"--homes", 1, 5},
    {"--players", 1, MAX_POWERS},
};

const IntegerOption *find_integer_option(const char *name) {
    for (const IntegerOption &option : INTEGER_OPTIONS)
        if (!std::strcmp(option.name, name)) return &option;
    return nullptr;
}

bool takes_value(const char *name) {
    return find_integer_option(name) || !std::strcmp(name, "--deadline") || !std::strcmp(name, "--out") ||
           !std::strcmp(name, "--map") || !std::strcmp(name, "--seat-secrets") || limits_option(name);
}

void store_integer(const char *option, long long number, ServerOptions *options) {
    if (!std::strcmp(option, "--port")) options->port = static_cast<uint16_t>(number);
    if (!std::strcmp(option, "--years")) options->years = static_cast<int>(number);
    if (!std::strcmp(option, "--players")) options->players = static_cast<int>(number);
    if (!std::strcmp(option, "--seed")) {
        options->use_seed = true;
        options->seed = static_cast<uint64_t>(number);
    }
    if (!std::strcmp(option, "--provinces")) options->provinces = static_cast<int>(number);
    if (!std::strcmp(option, "--powers")) options->powers = static_cast<int>(number);
    if (!std::strcmp(option, "--homes")) options->homes = static_cast<int>(number);
    if (!std::strcmp(option, "--provinces") || !std::strcmp(option, "--powers") || !std::strcmp(option, "--homes"))
        options->sized = true;
}

// Takes the value of an option that needs one; returns 2 (after a
// complaint) when it is wrong.
int take_value(const char *option, const char *value, ServerOptions *options) {
    // The limits against hostile bots parse their own options.
    int limit = limits_take_value(option, value, &options->limits);
    if (limit >= 0) return limit;
    if (const IntegerOption *integer = find_integer_option(option)) {
        long long number = 0;
        if (!integer_option(PROGRAM, option, value, integer->lo, integer->hi, &number)) return 2;
        store_integer(option, number, options);
        return 0;
    }
    if (!std::strcmp(option, "--deadline")) {
        double seconds = 0;
        if (!seconds_option(PROGRAM, option, value, 0, MAX_DEADLINE_S, &seconds)) return 2;
        options->deadline_ms = std::max<int64_t>(1, std::llround(seconds * 1000));
        return 0;
    }
    if (value[0] == '\0') {
        std::fprintf(stderr, "brox-server: %s needs a %s name\n", option,
                     std::strcmp(option, "--seat-secrets") ? "folder" : "file");
        return 2;
    }
    if (!std::strcmp(option, "--map")) options->map_dir = value;
    if (!std::strcmp(option, "--out")) options->out = value;
    if (!std::strcmp(option, "--seat-secrets")) options->seat_secrets = value;
    return 0;
}

// The map is chosen once: a folder, or a generated map.
int check_map_choice(const ServerOptions &options) {
    if (options.map_dir.empty() || (!options.use_seed && !options.sized)) return 0;
    std::fprintf(stderr,
                 "brox-server: --map plays the map of a folder; --seed, --provinces, --powers and --homes "
                 "make a new one: give one or the other\n");
    return 2;
}

}  // namespace

int server_options_parse(int argc, char **argv, ServerOptions *options) {
    for (int i = 1; i < argc; i++) {
        const char *option = argv[i];
        if (!std::strcmp(option, "--help") || !std::strcmp(option, "-h")) {
            std::fputs(HELP, stdout);
            std::fputs(LIMITS_HELP, stdout);
            return -1;
        }
        if (!std::strcmp(option, "--quiet")) {
            options->verbosity = Verbosity::QUIET;
            continue;
        }
        if (!std::strcmp(option, "--verbose")) {
            options->verbosity = Verbosity::VERBOSE;
            continue;
        }
        if (!takes_value(option)) {
            std::fprintf(stderr, "brox-server: unknown option %s (see --help)\n", option);
            return 2;
        }
        // A value is never an option: "--out --quiet" lacks its folder.
        if (i + 1 >= argc || !std::strncmp(argv[i + 1], "--", 2)) {
            std::fprintf(stderr, "brox-server: %s needs a value (see --help)\n", option);
            return 2;
        }
        int status = take_value(option, argv[++i], options);
        if (status != 0) return status;
    }
    return check_map_choice(*options);
}
