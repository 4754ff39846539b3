// The Order record: what a candidate or chosen order holds, and the
// comparison that sorts every candidate set and finds duplicates.
#pragma once

#include <functional>

#include "brox.h"

namespace order_detail {
// Orders references by address; within a Position that is index order.
template <typename T>
inline int compare_references(const T *a, const T *b) {
    if (a == b) return 0;
    return std::less<const T *>()(a, b) ? -1 : 1;
}
inline int compare_numbers(unsigned a, unsigned b) { return a < b ? -1 : a > b ? 1 : 0; }
}  // namespace order_detail

// Compares two Orders: token, then target, other unit, route length and
// route entries, each reference by its place in the Position (targets and
// route entries lie in the Position's arrays, Units in one block in unit
// order).  -1, 0 or 1.  Two Orders that differ only in `node` are equal.
// Inline: every candidate insertion runs it a few times.
inline int order_compare(const Order *a, const Order *b) {
    using namespace order_detail;
    int result = compare_numbers(a->token, b->token);
    if (!result) result = compare_references(a->target, b->target);
    if (!result) result = compare_references(a->other_unit, b->other_unit);
    if (!result) result = compare_numbers(a->route_length, b->route_length);
    for (uint16_t r = 0; !result && r < a->route_length && r < MAX_ROUTE; r++)
        result = compare_references(a->route[r], b->route[r]);
    return result;
}

// order_compare for the trees, which hand over item pointers.
int order_compare_items(const void *a, const void *b);

// Sets a chosen order: token, target, other unit and an empty route.
inline void order_set(Order *order, uint16_t token, LocationState *target, Unit *other_unit) {
    order->token = token;
    order->target = target;
    order->other_unit = other_unit;
    order->route_length = 0;
}

// An empty candidate set sorted by order_compare.
void order_set_init(LumAvlTree *candidates);

// The client library's call that links an array of items in ascending
// order in one pass (lum_avl_insert_sorted), or null.
using SortedInsert = void *(*)(LumAvlTree *tree, void *first_item, uint32_t count, size_t stride);

// Links `count` Orders of one array into a candidate set.  They are in
// strictly ascending order and none equals an Order of the set.  In one
// pass when the client library offers lum_avl_insert_sorted, else one at
// a time with lum_avl_insert (same set, same order).
void order_set_link_sorted(LumAvlTree *set, Order *orders, uint32_t count);

// The same with the one-pass call given; null inserts one at a time.
void order_set_link_sorted_with(SortedInsert insert_sorted, LumAvlTree *set, Order *orders, uint32_t count);
