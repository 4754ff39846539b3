// Drawing a board from its messages: the library builds the Map, the
// CentreTable and the Position from them, and board_svg draws the records.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mapgen.h"

// Builds the three records from the messages (each from its type word),
// draws them with `layout` into `svg` and releases them.  False, with
// nothing drawn, when the library refuses a message or runs out of memory.
bool draw_position(const Layout &layout, const std::vector<uint8_t> &map_message,
                   const std::vector<uint8_t> &centres_message,
                   const std::vector<uint8_t> &position_message, std::string *svg);
