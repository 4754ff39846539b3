// The replay of a game from its record alone: a picture of every phase
// and one self-contained HTML page that shows the board phase by phase
// (buttons, arrow keys, a slider and the address's #phase=N), each phase's
// orders grouped by power with their outcomes, and the supply centres by
// year.  brox-replay writes them for any record; the server writes the
// pictures as the game goes and the page at its end, through the same
// calls.
#pragma once

#include <cstddef>
#include <string>

#include "tools/replay/record.h"

constexpr const char *REPLAY_PAGE_FILE = "replay.html";
constexpr const char *REPLAY_PICTURE_FOLDER = "phases";
constexpr const char *REPLAY_FINAL_PICTURE = "final-board.svg";

// The picture's name for the phase numbered `number` (from 1, in playing
// order) relative to the output folder: the record's own name when it is
// a plain relative path ending in .svg, otherwise
// "phases/0003-1901-fall.svg", or "final-board.svg" for the final line.
std::string replay_picture_name(const RecordPhase &phase, size_t number);

// Writes the picture of one phase under `folder` (creating its folder).
// False with a reason when it cannot be written.
bool replay_picture_write(const Layout &layout, const RecordPhase &phase, size_t number, const std::string &folder,
                          std::string *error);

// The whole page.
std::string replay_page(const GameRecordRead &record);

// Writes into `folder` the page and, with `pictures`, every phase's
// picture.  False with a reason for the first file that cannot be written.
bool replay_write(const GameRecordRead &record, const std::string &folder, bool pictures, std::string *error);
