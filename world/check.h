// The invariants every Map and every Position the library builds keep,
// whatever message they were built from, checked on the record itself.
// The fuzz targets, the long game test and the tests call these; nothing a
// bot calls does.
#pragma once

#include "brox.h"

// The first invariant the Map breaks, as text, or null when it keeps them
// all: counts within capacities, every Location in its own slot and found
// again by its (province, coast) pair, adjacency and neighbours inside the
// Map, centre kinds and home powers consistent, the centre count right,
// and an army Location for every land province.
const char *map_check(const Map *map);

// The first invariant the Position breaks, as text, or null: counts within
// capacities; every reference inside this Position; LocationStates and
// ProvinceStates matching the Map; Units recorded where they stand; owners
// as the CentreTable lists them (a later power's listing wins); units
// counted per power; build slots and adjustments in winter only, as many
// slots as builds are due (capacity allowing); reach lists without
// repeats; and every candidate set sorted, counted right, and linked from
// its first to its last item.  The text is kept per thread until the next
// call.
const char *position_check(const Position *position);
