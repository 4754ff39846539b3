// Checks of the Orders a bot hands to the exported calls: whether an Order
// is one of a unit's candidates or refers only into its Position.  The
// exported calls refuse what fails these checks rather than follow a stray
// pointer.
#pragma once

#include "brox.h"

// Whether `order` is one of the unit's own candidate records (that very
// record, not an equal copy).  Reads `order`, which must be readable.
bool unit_has_candidate(Unit *unit, const Order *order);

// Whether every reference of `order` (target, other unit, route entries)
// points into `position`, and its route length is within MAX_ROUTE.
bool order_refers_inside(const Position *position, const Order *order);
