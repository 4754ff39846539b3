// Comparing, initialising and releasing Order records.
#include "orders/order.h"

#include <cstddef>

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
