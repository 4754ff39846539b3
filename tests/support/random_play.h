// Random players for whole games played in-process: every order is one of
// the unit's candidates, drawn from a seeded sequence, so that a seed plays
// the same game on every build.  Used by the long game and the many-map
// soak.
#pragma once

#include <cstdint>
#include <vector>

#include "brox.h"
#include "tools/mapgen/random.h"

namespace random_play {

using Random = mapgen::Random;

// A unit's candidates in tree order.
std::vector<const Order *> candidates_of(const Unit *unit);

// The province index of a LocationState of `position`.
uint16_t province_of(const Position *position, const LocationState *location);

// Sets an order on every unit that has candidates, by season:
// - spring and fall: a token first, then a candidate with that token, so
//   that the many supports do not crowd out moves and convoys; supports
//   back, where they can, what the supported unit was ordered to do;
// - summer and autumn: any candidate of each dislodged unit;
// - winter: a power with too many units removes exactly as many as it
//   must, chosen at random; a power owed builds fills its slots with
//   distinct provinces of its build candidates, waiving now and then.
// Returns false when a candidate that the season promises is missing (a
// removal for a power that must remove, a hold for one that keeps a unit).
bool choose_orders(Position *position, Random &random);

}  // namespace random_play
