// Convoy routes: chains of fleets at sea that can carry an army from one
// coast to another, turned into reach entries (pass 0) and into convoyed
// moves and convoy orders (pass 1).
#pragma once

#include <cstdint>

#include "brox.h"

// One route of a walk: the fleets' provinces, army side first, and where
// the army lands (the location the last fleet's adjacency names).
struct ConvoyRoute {
    uint16_t fleet_count;
    ProvinceState *fleets[MAX_ROUTE];
    LocationState *landing;
};

// Finished routes kept per starting fleet; the next slot is the working route.
constexpr int MAX_ROUTE_SLOTS = 1024;

// What a walk records: armies in the reach lists of their landing
// provinces, and the convoyed-move and convoy candidates.  Both are worked
// out from the same routes, so one walk may record both.
constexpr int CONVOY_PASS_REACH = 1;
constexpr int CONVOY_PASS_CANDIDATES = 2;

// Walks from every fleet at sea and records what `passes` asks for.
// Returns 0 when a candidate could not be allocated.
int find_convoy_routes(Position *position, int passes);

// Appends a unit to a province's reach list unless it is already there.
void add_reach(ProvinceState *province, Unit *unit);
