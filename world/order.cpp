// Comparing, initialising and releasing Order records, and walking a unit's
// candidate set.
#include "world/order.h"

#include <cstddef>

#include "world/arguments.h"

int order_compare_items(const void *a, const void *b) {
    return order_compare(static_cast<const Order *>(a), static_cast<const Order *>(b));
}

void order_set_init(LumAvlTree *candidates) {
    candidates->compare = order_compare_items;
    candidates->root = candidates->first = candidates->last = nullptr;
    candidates->reserved = 0;
    candidates->node_offset = offsetof(Order, node);
    candidates->count = 0;
}

// Candidate Orders live in their Position's storage: a released record is
// no longer used, and its memory goes back when the Position is freed.  The
// first argument is not read.
extern "C" BROX_API void brox_position_free_order(void *first, Order *order) {
    (void)first;
    (void)order;
}

// A set is walked from its lowest item through the tree's successor links;
// an Order that is not one of the unit's own records has no place to go on
// from, so the walk ends there.
extern "C" BROX_API Order *brox_candidate_first(Unit *unit) {
    if (!unit) return nullptr;
    return static_cast<Order *>(LUM_AVL_ITEM(&unit->candidates, unit->candidates.first));
}

extern "C" BROX_API Order *brox_candidate_next(Unit *unit, Order *order) {
    if (!unit_has_candidate(unit, order)) return nullptr;
    return static_cast<Order *>(lum_avl_next(&unit->candidates, &order->node));
}
