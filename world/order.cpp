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

// Not every client library has the one-pass call: imported weakly, its
// address is null where it is missing.
extern "C" void *lum_avl_insert_sorted(LumAvlTree *tree, void *first_item, uint32_t count, size_t stride)
    __attribute__((weak));

void order_set_link_sorted(LumAvlTree *set, Order *orders, uint32_t count) {
    order_set_link_sorted_with(lum_avl_insert_sorted, set, orders, count);
}

// One at a time, each node is prepared as lum_avl_insert wants it: links
// null, both 16-bit fields -1.
void order_set_link_sorted_with(SortedInsert insert_sorted, LumAvlTree *set, Order *orders, uint32_t count) {
    if (!count) return;
    if (insert_sorted) {
        insert_sorted(set, orders, count, sizeof(Order));
        return;
    }
    for (uint32_t k = 0; k < count; k++) {
        LumAvlNode *node = &orders[k].node;
        node->left = node->right = node->parent = nullptr;
        node->height = node->spare = -1;
        lum_avl_insert(set, node);
    }
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
