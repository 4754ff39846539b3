// The local game server's limits against hostile bots: the resource bounds
// of its connections (their number, the time to join, input and queued
// output, log lines), the bounds of the game record's dropped-connection
// lines, and the rejoin limits that keep a 16-bit passcode from being
// found by trial.
#pragma once

#include <cstddef>
#include <cstdint>

#include "brox.h"
#include "common/record.h"
#include "orders/orders_message.h"

// The limits the command line may change.
struct ServerLimits {
    int max_connections = 64;             // connections open at once
    int64_t handshake_timeout_ms = 10000; // from connecting to playing a power
    size_t max_output = size_t{1} << 20;  // bytes queued for one connection
    size_t output_budget = size_t{16} << 20; // bytes queued for all connections together
    int log_lines = 200;                  // lines per power, and shared by connections without one
};

// The largest record a bot has reason to send: orders for MAX_UNITS units.
// A frame announcing more closes the connection before its body is read.
constexpr size_t BOT_RECORD_LIMIT = RECORD_MESSAGE_AT + orders_message_size(MAX_UNITS);

// ---------------------------------------------------------------------------
// Rejoin limits
// ---------------------------------------------------------------------------
//
// Every refused rejoin counts against the power it named and against the
// address it came from.  The first few refusals cost nothing; after that,
// each one closes a gate for a delay that doubles from 1 s up to 60 s.  A
// rejoin that arrives while a gate is closed is held, unanswered, until
// both gates open, and only one rejoin per power is held at a time: one
// more for the same power is closed without an answer.  So a client that
// tries passcodes gets one trial a minute per power once the free ones are
// spent, some 32768 trials (three weeks) on average for one passcode, while
// a bot that restarts with its rejoin file is answered at once, or within
// a minute when someone has just been trying that power's passcodes.
// Seats with a secret (seat_secrets.h) are outside these limits: a
// passcode alone never opens them, and their bot is taken back at once.
constexpr int REJOIN_FREE_PER_SEAT = 3;
constexpr int REJOIN_FREE_PER_PEER = 20;  // every bot of a local game shares one address
constexpr int64_t REJOIN_FIRST_DELAY_MS = 1000;
constexpr int64_t REJOIN_LONGEST_DELAY_MS = 60000;
// Addresses followed one by one; any further addresses share one count.
constexpr size_t REJOIN_TRACKED_PEERS = 256;

struct RejoinGate {
    int refused = 0;         // refusals counted so far
    int64_t open_at_ms = 0;  // no rejoin is weighed before this time
};

// Counts a refusal at `now_ms` and closes the gate for the delay it earns.
void rejoin_gate_refuse(RejoinGate *gate, int free_refusals, int64_t now_ms);
// The delay that the `refused`-th refusal earns: 0 for the free ones.
int64_t rejoin_delay_ms(int refused, int free_refusals);

// ---------------------------------------------------------------------------
// Requests
// ---------------------------------------------------------------------------
//
// A bot asks for the map definition once when it joins or rejoins, and
// for the other records (map name, assignment, position, centres) seldom.
// Each request is answered up to these numbers per connection and phase;
// one more closes the connection ("request-limit"), so that a 6-byte
// request cannot make the server send a record hundreds of times larger
// in a loop.
constexpr uint16_t MAP_DEFINITIONS_PER_PHASE = 2;
constexpr uint16_t OTHER_REQUESTS_PER_PHASE = 16;

// ---------------------------------------------------------------------------
// Dropped connections in the game record
// ---------------------------------------------------------------------------
//
// Each dropped connection gets a line in the game record, up to these
// numbers; the rest are counted and summed up, per seat and reason, in one
// line each before the final line.
constexpr int RECORD_DROPS_PER_SEAT = 100;
constexpr int RECORD_DROPS_WITHOUT_SEAT = 1000;

// ---------------------------------------------------------------------------
// Command line
// ---------------------------------------------------------------------------

// Takes the value of a limit option.  Returns -1 when `option` is not one
// of them, 0 when the value was taken, 2 after printing a complaint.
int limits_take_value(const char *option, const char *value, ServerLimits *limits);

// Whether `option` is one of the limits' options (each takes a value).
bool limits_option(const char *option);

// The limits' part of --help.
extern const char LIMITS_HELP[];
