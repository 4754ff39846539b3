// Where the units dislodged in a movement phase may retreat: the places
// the retreat phase's position message lists for each of them, so that it
// is offered a RETREAT to each.
#pragma once

#include <cstdint>

#include "brox.h"
#include "game/placement.h"

// The places offered to one dislodged unit, as location indices of the Map
// in the order of its location's adjacency list (each place once).
struct RetreatPlaces {
    uint16_t count;
    uint16_t locations[MAX_RETREATS];
};

// `before` is the movement Position with the orders as adjudicated and
// `after` where its units stand after the moves, the same units in the
// same order.  Fills places[u] for every unit u of `after` (count 0 for a
// unit that was not dislodged).  A dislodged unit may go to each Location
// adjacent to where it stands whose province, after the moves, has no unit
// standing in it, is not the province its attacker came from, and saw no
// bounce (a standoff leaves a province empty but closed).  Nothing is
// offered when the two do not list the same units.
void retreat_options_find(const Position *before, const Placement *after, RetreatPlaces places[MAX_UNITS]);
// The same, `after` being the Position the adjudicator made of `before`.
void retreat_options_find(const Position *before, const Position *after, RetreatPlaces places[MAX_UNITS]);
