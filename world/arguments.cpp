// Checks of the Orders a bot hands to the exported calls: candidates and
// references into a Position.
#include "world/arguments.h"

#include <cstdint>

#include "world/position.h"

bool unit_has_candidate(Unit *unit, const Order *order) {
    return unit && order && lum_avl_find(&unit->candidates, order) == order;
}

bool order_refers_inside(const Position *position, const Order *order) {
    if (order->target && !position_owns_location(position, order->target)) return false;
    if (order->other_unit && !position_owns_unit(position, order->other_unit)) return false;
    if (order->route_length > MAX_ROUTE) return false;
    for (uint16_t r = 0; r < order->route_length; r++)
        if (!position_owns_province(position, order->route[r])) return false;
    return true;
}
