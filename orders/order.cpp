// Comparing, initialising and releasing Order records.
#include "orders/order.h"

#include <cstddef>
#include <functional>

#include "common/memory.h"

namespace {

// Orders references by address; within a Position that is index order.
template <typename T>
int compare_references(const T *a, const T *b) {
    if (a == b) return 0;
    return std::less<const T *>()(a, b) ? -1 : 1;
}

int compare_numbers(unsigned a, unsigned b) { return a < b ? -1 : a > b ? 1 : 0; }

}  // namespace

int order_compare(const Order *a, const Order *b) {
    int result = compare_numbers(a->token, b->token);
    if (!result) result = compare_references(a->target, b->target);
    if (!result) result = compare_references(a->other_unit, b->other_unit);
    if (!result) result = compare_numbers(a->route_length, b->route_length);
    for (uint16_t r = 0; !result && r < a->route_length && r < MAX_ROUTE; r++)
        result = compare_references(a->route[r], b->route[r]);
    return result;
}

int order_compare_items(const void *a, const void *b) {
    return order_compare(static_cast<const Order *>(a), static_cast<const Order *>(b));
}

void order_set(Order *order, uint16_t token, LocationState *target, Unit *other_unit) {
    order->token = token;
    order->target = target;
    order->other_unit = other_unit;
    order->route_length = 0;
}

void order_set_init(LumAvlTree *candidates) {
    candidates->compare = order_compare_items;
    candidates->root = candidates->first = candidates->last = nullptr;
    candidates->reserved = 0;
    candidates->node_offset = offsetof(Order, node);
    candidates->count = 0;
}

// The first argument is not read: the call keeps the shape of a release
// callback that receives a context first.
extern "C" BROX_API void brox_position_free_order(void *first, Order *order) {
    (void)first;
    mem_release(order);
}
