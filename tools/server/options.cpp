// Parsing the local game server's command line.
#include "tools/server/options.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "brox.h"

namespace {

const char HELP[] = R"(Usage: brox-server [options]

Runs one game on loopback for bots built on the Brox library.  The first
line printed is "port N": the port the server listens on.

Options:
  --port N         port to listen on, 0 for any free port (default 16713)
  --years N        game years to play, 1 to 100 (default 5); the game also
                   ends when one power owns more than half the supply centres
  --seed N         play a generated map of this seed (default: the built-in
                   standard map)
  --deadline S     seconds to wait for a phase's orders (default 20); a power
                   whose orders have not come holds, disbands its dislodged
                   units and waives its builds
  --players N      bots to wait for before the first phase (default: one per
                   power); powers without a bot hold throughout
  --out DIR        folder for the game record (game.jsonl), the final board
                   (final-board.svg) and the centre table (centres.txt);
                   created when missing (default game-out)
  --quiet          print only the port line and errors
  --verbose        also print every join, rejoin, disconnection and refused
                   order
  --help           show this text
)";

bool parse_integer(const char *text, long long lo, long long hi, long long *value) {
    errno = 0;
    char *end = nullptr;
    long long parsed = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || parsed < lo || parsed > hi) return false;
    *value = parsed;
    return true;
}

bool parse_seconds(const char *text, int64_t *ms) {
    errno = 0;
    char *end = nullptr;
    double seconds = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0' || !(seconds > 0) || seconds > 86400) return false;
    *ms = static_cast<int64_t>(std::llround(seconds * 1000));
    return *ms > 0;
}

// Takes the value of an option that needs one; returns 2 (after a
// complaint) when it is wrong.
int take_value(const char *option, const char *value, ServerOptions *options) {
    // The limits against hostile bots parse their own options.
    int limit = limits_take_value(option, value, &options->limits);
    if (limit >= 0) return limit;
    long long number = 0;
    bool ok = true;
    if (!std::strcmp(option, "--port")) {
        ok = parse_integer(value, 0, 65535, &number);
        options->port = static_cast<uint16_t>(number);
    } else if (!std::strcmp(option, "--years")) {
        ok = parse_integer(value, 1, 100, &number);
        options->years = static_cast<int>(number);
    } else if (!std::strcmp(option, "--seed")) {
        ok = parse_integer(value, 0, INT64_MAX, &number);
        options->use_seed = true;
        options->seed = static_cast<uint64_t>(number);
    } else if (!std::strcmp(option, "--deadline")) {
        ok = parse_seconds(value, &options->deadline_ms);
    } else if (!std::strcmp(option, "--players")) {
        ok = parse_integer(value, 1, MAX_POWERS, &number);
        options->players = static_cast<int>(number);
    } else if (!std::strcmp(option, "--out")) {
        ok = value[0] != '\0';
        options->out = value;
    } else {
        std::fprintf(stderr, "brox-server: unknown option %s (see --help)\n", option);
        return 2;
    }
    if (!ok) {
        std::fprintf(stderr, "brox-server: %s: value out of range: %s\n", option, value);
        return 2;
    }
    return 0;
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
        if (i + 1 >= argc) {
            std::fprintf(stderr, "brox-server: %s needs a value (see --help)\n", option);
            return 2;
        }
        int status = take_value(option, argv[++i], options);
        if (status != 0) return status;
    }
    return 0;
}
