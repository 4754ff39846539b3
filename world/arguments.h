// Checks of what a bot hands to the exported calls: whether an Order is one
// of a unit's candidates or refers only into its Position, and whether an
// agenda item may go into an agenda.  The exported calls refuse what fails
// these checks rather than follow a stray pointer.
#pragma once

#include "brox.h"

// Whether `order` is one of the unit's own candidate records (that very
// record, not an equal copy).  Reads `order`, which must be readable.
bool unit_has_candidate(Unit *unit, const Order *order);

// Whether every reference of `order` (target, other unit, route entries)
// points into `position`, and its route length is within MAX_ROUTE.
bool order_refers_inside(const Position *position, const Order *order);

// Whether an item is linked into the trees of an agenda.  Relies on the
// tree library leaving a node that is in no tree with height -1.
bool agenda_item_linked(const AgendaItem *item);

// Whether `item` may meet the items of `agenda`: it searches the same
// Position as they do.  An agenda that holds no items takes any Position.
bool agenda_matches_item(const Agenda *agenda, const AgendaItem *item);
