// Checks of what a bot hands to the exported calls: candidates, references
// into a Position, and agenda items.
#include "orders/arguments.h"

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

bool agenda_item_linked(const AgendaItem *item) {
    return item->score_node.height != -1 || item->choice_node.height != -1;
}

bool agenda_matches_item(const Agenda *agenda, const AgendaItem *item) {
    const LumAvlTree *held = &agenda->by_choice;
    if (!held->root) return true;
    auto *sample = static_cast<const AgendaItem *>(LUM_AVL_ITEM(held, held->root));
    return sample->position == item->position;
}
