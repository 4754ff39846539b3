// The replay page: one self-contained HTML file beside the game record
// that shows the board phase by phase (buttons, arrow keys and a slider),
// each phase's orders with their outcomes, and the supply centres by year.
#pragma once

#include <string>

#include "tools/server/game_state.h"

constexpr const char *REPLAY_PAGE_FILE = "replay.html";

// Writes the page from the phases kept in game->replay.  False, with the
// reason in *error, when the file cannot be written.
bool replay_page_write(const Game *game, std::string *error);
