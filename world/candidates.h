// Candidate orders: the legal orders of every Unit, generated while a
// Position is built and kept in each Unit's sorted candidate set.
// Every generator returns 1, or 0 when an Order could not be allocated.
#pragma once

#include <cstdint>

#include "brox.h"

// Adds one candidate to a set of the Position unless an equal one is
// already there (the first added stays).  `route` holds `route_length`
// fleet provinces (at most MAX_ROUTE are kept); it may be null when the
// length is 0.  A set's content does not depend on the order candidates are
// added in; adding them in ascending order is cheapest, since a candidate
// above the set's last one needs no lookup.
int add_candidate(Position *position, LumAvlTree *set, uint16_t token, LocationState *target,
                  Unit *other_unit, uint16_t route_length = 0, ProvinceState *const *route = nullptr);

// Spring and fall: the convoy routes (reach entries, convoyed moves and
// convoy orders), then every unit's hold, move and support candidates.
// Each set is filled in ascending order.
int add_movement_phase_candidates(Position *position);

// Retreat and disband candidates of a dislodged unit: a retreat to each of
// `target_count` targets (a null target, an option that names no known
// location, still gives a retreat, with no target), then the disband.
int add_retreat_candidates(Position *position, LocationState *const *targets, uint16_t target_count,
                           LumAvlTree *set);

// Remove and hold candidates for every unit of a power.
int add_removal_candidates(Position *position, uint16_t power);

// Waive and build candidates, put into the set of a power's first build slot.
int add_build_candidates(Position *position, LumAvlTree *set, uint16_t power);
