// The orders a phase is resolved with: what each power gave, and the
// referee's defaults for everything else.
#pragma once

#include <cstdint>

#include "brox.h"
#include "game/phase_orders.h"

// Sets every Unit's order: a hold, a disband for a dislodged unit, a waive
// for a build slot; then the orders the powers gave (orders->chosen where
// from_bot is set); then, in winter, the removals each power left out
// (default_removals).
void apply_phase_orders(Position *position, const PhaseOrders *orders);

// In a winter Position whose Units carry their orders: for every power
// with removals due and fewer of its units ordered ORD_REMOVE, orders the
// rest removed: the units farthest from the power's home centres first
// (removal_distance), at equal distance fleets before armies, then the
// lower province index first.
void default_removals(Position *position);

// How far a unit standing in `province` is from the power's home centres
// for the removal rule: Map.home_distance, but 0 on one of the power's own
// home centres (home_distance counts a way out and back there); a province
// no home centre reaches counts DISTANCE_UNREACHABLE.
uint16_t removal_distance(const Map *map, uint16_t power, uint16_t province);
