// An Order as an entry of the orders message: how submission writes it,
// and how the referee keeps an order it refused for the game record.
#include "orders/order_entry.h"

namespace {

uint16_t province_token(const LocationState *location) {
    return location->province->province->token;
}

}  // namespace

bool order_entry_of(const Unit *unit, const Order &order, OrderEntry *entry) {
    *entry = OrderEntry{};
    switch (order.token) {
    case ORD_WAIVE:
        entry->unit.power = unit->power;
        break;
    case ORD_BUILD:
        if (!order.target) return false;
        entry->unit = {unit->power, unit->unit_type, province_token(order.target), order.target->coast, 0};
        break;
    default:
        if (!unit->location) return false;
        entry->unit = unit_block_of(unit);
        break;
    }

    entry->token = order.token;
    if (!order.target) {
        entry->target_province = TARGET_NONE;
    } else if (order.token == ORD_SUPPORT) {
        entry->target_province = province_token(order.target);
        entry->target_coast = COAST_ANY;
    } else if (order.token != ORD_BUILD) {  // a build's place travels in its unit block
        entry->target_province = province_token(order.target);
        entry->target_coast = order.target->coast;
    }

    if (order.other_unit) entry->other = unit_block_of(order.other_unit);

    entry->route_length = order.route_length < MAX_ROUTE ? order.route_length : MAX_ROUTE;
    for (uint16_t r = 0; r < entry->route_length; r++)
        if (order.route[r]) entry->route[r] = order.route[r]->province->token;
    return true;
}

UnitBlock unit_block_of(const Unit *unit) {
    UnitBlock block{unit->power, unit->unit_type, 0, 0, unit->dislodged};
    if (unit->location) {
        block.province_token = province_token(unit->location);
        block.coast = unit->location->coast;
    }
    return block;
}

void write_unit_block(const Unit *unit, uint8_t *block) { unit_block_write(block, unit_block_of(unit)); }
