// What the local game server prints as a game goes on: events, a line per
// phase with the supply centres of every power, and at the end the table of
// supply centres by power and year (also written to the output folder).
#pragma once

#include <cstdio>
#include <string>

#include "tools/server/game_state.h"

constexpr const char *CENTRE_TABLE_FILE = "centres.txt";

// Prints one event line when the verbosity reaches `level`.
void game_report_event(const Game *game, Verbosity level, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
// An event line about a link, counted against the log lines of its power's
// connections (or of all connections without a power): past
// options.limits.log_lines the lines are counted, not printed, and
// game_report_end sums them up.
void game_report_link(Game *game, uint32_t link, Verbosity level, const char *format, ...)
    __attribute__((format(printf, 4, 5)));

// The game's description and the head of the progress table.
void game_report_start(const Game *game);
// One progress line for the phase the referee resolved last (with
// --verbose, the refused orders, counted against each power's log lines).
void game_report_phase(Game *game);
// Why the game ended, the table of centres by power and year, and where
// the outputs are.
void game_report_end(const Game *game, const char *reason);

// The table of supply centres by power and year, as text.
std::string centre_table_text(const Game *game);
