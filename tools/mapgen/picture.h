// Drawing a board from the library's records or from its messages: the
// Map, CentreTable and Position turned into the board's own terms, and
// drawn with the map's layout.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mapgen.h"
#include "tools/board/board.h"

// The board state of a Position: centre owners from `centres`, each unit
// at its place (dislodged ones marked), with the phase as its title.
// Reads the records only; `centres` and `position` may be null (no owners,
// no units, no phase).  The layout must be the one made with the Map.
BoardState board_state_of(const Layout &layout, const Map *map, const CentreTable *centres,
                          const Position *position);

// Builds the three records from the messages (each from its type word),
// draws them with `layout` into `svg` and releases them.  False, with
// nothing drawn, when the library refuses a message or runs out of memory.
bool draw_position(const Layout &layout, const std::vector<uint8_t> &map_message,
                   const std::vector<uint8_t> &centres_message,
                   const std::vector<uint8_t> &position_message, std::string *svg);
