// The server's outputs beside the game record's lines: the file
// game.jsonl, a picture of every phase and of the final board (drawn from
// each line as brox-replay draws it), the replay page, and the bounds on
// the lines of dropped connections.
#pragma once

#include <string>

#include "tools/replay/replay.h"
#include "tools/server/game_state.h"

constexpr const char *GAME_RECORD_FILE = "game.jsonl";
constexpr const char *FINAL_BOARD_FILE = REPLAY_FINAL_PICTURE;
constexpr const char *PHASE_PICTURE_FOLDER = REPLAY_PICTURE_FOLDER;

// Creates the output folder, opens game.jsonl and writes its map line.
// False, with the reason in *error, when either fails.
bool record_open(Game *game, std::string *error);
// Closes game.jsonl.
void record_close(Game *game);

// Writes the line of the phase the referee resolved last and its picture.
void record_phase(Game *game);
// Writes the final line, the picture of the final board and the replay
// page, read from the record as brox-replay reads it; before the final line, one line per seat and reason of the dropped
// connections that were only counted.
void record_final(Game *game, const char *reason);

// Writes the line of a dropped connection (game_record_dropped_line).
// Past RECORD_DROPS_PER_SEAT lines for a power's connections, or
// RECORD_DROPS_WITHOUT_SEAT for connections without a power, the drop is
// only counted.
void record_dropped(Game *game, const Link &link, const char *reason, const std::string &detail);
