// Checks of the agenda items a bot hands to the agenda calls.  The calls
// refuse an item that fails them rather than link it twice or mix the
// items of two Positions.
#pragma once

#include "brox.h"

// Whether an item is linked into the trees of an agenda.  Relies on the
// tree library leaving a node that is in no tree with height -1.
bool agenda_item_linked(const AgendaItem *item);

// Whether `item` may meet the items of `agenda`: it searches the same
// Position as they do.  An agenda that holds no items takes any Position.
bool agenda_matches_item(const Agenda *agenda, const AgendaItem *item);
