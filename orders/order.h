// The Order record: what a candidate or chosen order holds, and the
// comparison that sorts every candidate set and finds duplicates.
#pragma once

#include "brox.h"

// Compares two Orders: token, then target, other unit, route length and
// route entries, each reference by its place in the Position (targets and
// route entries lie in the Position's arrays, Units in one block in unit
// order).  -1, 0 or 1.  Two Orders that differ only in `node` are equal.
int order_compare(const Order *a, const Order *b);

// order_compare for the trees, which hand over item pointers.
int order_compare_items(const void *a, const void *b);

// Sets a chosen order: token, target, other unit and an empty route.
void order_set(Order *order, uint16_t token, LocationState *target, Unit *other_unit);

// An empty candidate set sorted by order_compare.
void order_set_init(LumAvlTree *candidates);
