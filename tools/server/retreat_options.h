// Where the units dislodged in a movement phase may retreat: the server
// lists these options in the position message of the retreat phase, so
// that each dislodged unit is offered a retreat to each of them.
#pragma once

#include <cstdint>
#include <vector>

#include "brox.h"

struct RetreatOption {
    uint16_t province = 0; // province index
    uint16_t coast = 0;    // coast of the Location in that province
};

// Options per unit index of the Position after the moves; empty for a unit
// that was not dislodged.
using RetreatOptions = std::vector<std::vector<RetreatOption>>;

// `before` is the movement Position with the orders as adjudicated and
// `after` the Position that brox_adjudicate made of it, which lists the
// same units in the same order.  A dislodged unit may go to each Location
// adjacent to where it stands whose province, after the moves, has no unit
// standing in it, is not the province its attacker came from, and saw no
// bounce (a standoff leaves a province empty but closed).  Nothing is
// offered when the two Positions do not list the same units.
RetreatOptions retreat_options_find(const Position *before, const Position *after);
