// The rejoin gates' arithmetic and the command-line options of the server's
// limits, with their part of --help.
#include "tools/server/limits.h"

#include <cmath>
#include <cstring>
#include <initializer_list>

#include "tools/common/option_value.h"

const char LIMITS_HELP[] = R"(
Limits (every bot is treated as hostile):
  --max-connections N    connections open at once, 1 to 4096 (default 64);
                         when all are taken, a new connection replaces the
                         oldest one that has not joined from the address
                         with the most of those, or is closed
  --handshake-timeout S  seconds from connecting to playing a power (joined
                         and map accepted), 0.1 to 3600 (default 10); a
                         connection that takes longer is closed
  --max-output KB        output queued for one connection, 256 to 1048576
                         (default 1024); a bot that lets more pile up by not
                         reading is dropped
  --output-budget MB     output queued for all connections together, 1 to
                         4096 (default 16); past it the connection with the
                         most queued is dropped, then the next
  --log-lines N          lines printed about each power's connections, and
                         about all connections without a power together,
                         1 to 1000000 (default 200); the rest are counted
                         and summed up when the game ends
Fixed: a record larger than 24409 bytes (orders for 100 units) closes its
connection.  A refused rejoin closes its connection.  Refused rejoins count
per power and per address: after 3 for a power (20 from one address) each
one makes the next rejoin there wait, 1 s doubling up to 60 s, and one
rejoin per power waits at a time; a passcode then takes weeks to find by
trial.  A connection is answered at most 2 map definitions and 16 other
requests per phase; one more closes it.  A seat with a secret (--seat-secrets, or the one its bot joined
with) takes only the bot that carries it: its rejoin is weighed at once,
outside these counts, and a passcode alone never opens it.  Every dropped connection is a line in game.jsonl with its reason
(up to 100 per power and 1000 without a power; the rest are counted).
)";

// ---------------------------------------------------------------------------
// Rejoin gates
// ---------------------------------------------------------------------------

int64_t rejoin_delay_ms(int refused, int free_refusals) {
    if (refused <= free_refusals) return 0;
    int64_t delay = REJOIN_FIRST_DELAY_MS;
    for (int n = free_refusals + 1; n < refused && delay < REJOIN_LONGEST_DELAY_MS; n++) delay *= 2;
    return delay < REJOIN_LONGEST_DELAY_MS ? delay : REJOIN_LONGEST_DELAY_MS;
}

void rejoin_gate_refuse(RejoinGate *gate, int free_refusals, int64_t now_ms) {
    if (gate->refused < 1000000) gate->refused++;
    gate->open_at_ms = now_ms + rejoin_delay_ms(gate->refused, free_refusals);
}

// ---------------------------------------------------------------------------
// Command line
// ---------------------------------------------------------------------------

namespace {

constexpr const char *PROGRAM = "brox-server";

bool take_integer(const char *option, const char *value, long long lo, long long hi, long long *out) {
    return integer_option(PROGRAM, option, value, lo, hi, out);
}

bool take_seconds(const char *option, const char *value, double lo, double hi, int64_t *ms) {
    double seconds = 0;
    if (!seconds_option(PROGRAM, option, value, lo, hi, &seconds)) return false;
    *ms = static_cast<int64_t>(std::llround(seconds * 1000));
    return true;
}

}  // namespace

bool limits_option(const char *option) {
    for (const char *name : {"--max-connections", "--handshake-timeout", "--max-output", "--output-budget", "--log-lines"})
        if (!std::strcmp(option, name)) return true;
    return false;
}

int limits_take_value(const char *option, const char *value, ServerLimits *limits) {
    long long number = 0;
    if (!std::strcmp(option, "--max-connections")) {
        if (!take_integer(option, value, 1, 4096, &number)) return 2;
        limits->max_connections = static_cast<int>(number);
    } else if (!std::strcmp(option, "--handshake-timeout")) {
        if (!take_seconds(option, value, 0.1, 3600, &limits->handshake_timeout_ms)) return 2;
    } else if (!std::strcmp(option, "--max-output")) {
        if (!take_integer(option, value, 256, 1048576, &number)) return 2;
        limits->max_output = static_cast<size_t>(number) << 10;
    } else if (!std::strcmp(option, "--output-budget")) {
        if (!take_integer(option, value, 1, 4096, &number)) return 2;
        limits->output_budget = static_cast<size_t>(number) << 20;
    } else if (!std::strcmp(option, "--log-lines")) {
        if (!take_integer(option, value, 1, 1000000, &number)) return 2;
        limits->log_lines = static_cast<int>(number);
    } else {
        return -1;
    }
    return 0;
}
