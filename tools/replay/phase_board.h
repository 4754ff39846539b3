// A phase of a game record as a board to draw: the record's names of
// places, units and orders ("F NOR/north", "A STA - NOR via SEA") read
// against the map's layout.
#pragma once

#include <string>

#include "tools/board/board.h"
#include "tools/replay/record.h"

// The place a name gives ("STA", "NOR/north"); nowhere when the layout
// has no province of that abbreviation.
BoardPlace phase_place(const Layout &layout, const std::string &name);

// The board of a phase: owners, centre counts, units, and the orders with
// their outcomes.  Names the layout does not know leave their unit or
// order out of the drawing.
BoardState phase_board(const Layout &layout, const RecordPhase &phase);
