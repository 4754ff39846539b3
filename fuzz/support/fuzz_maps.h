// The valid worlds the fuzz targets read hostile messages against, and the
// valid messages their seed corpora start from.  Each board is a map with
// two centre-ownership tables and a few positions on it.
#pragma once

#include <cstdint>
#include <vector>

#include "brox.h"

using FuzzBytesVector = std::vector<uint8_t>;

struct FuzzBoardMessages {
    FuzzBytesVector map;                 // MSG_MAP_DEFINITION
    FuzzBytesVector centres[2];          // MSG_CENTRE_OWNERSHIP
    std::vector<FuzzBytesVector> positions;  // MSG_POSITION, each valid on the map
};

// The boards, by number: 0 the default map (7 powers) with its opening and
// a midgame; 1 a generated map of 20 powers, on which power index 11 is a
// real power; 2 a small hand-drawn board with two-coast provinces, a chain
// of seas for convoys, a one-way move and dislodged units with retreats.
constexpr uint8_t FUZZ_BOARD_COUNT = 3;
const FuzzBoardMessages &fuzz_board_messages(uint8_t board);

// A board as built once by the library: its Map and both CentreTables
// (each retained once, so that Positions built on them never free them).
struct FuzzBoard {
    Map *map;
    CentreTable *centres[2];
};
const FuzzBoard &fuzz_board(uint8_t selector);  // selector % FUZZ_BOARD_COUNT

inline Map *fuzz_map_choice(uint8_t selector) { return fuzz_board(selector).map; }
