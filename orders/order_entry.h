// An Order as an entry of the orders message (orders/orders_message.h):
// the unit block of a Unit and the entry that gives it an order, as
// submission sends them and the referee keeps refused orders.
#pragma once

#include <cstdint>

#include "brox.h"
#include "orders/orders_message.h"

// The unit block of a Unit (orders/orders_message.h): its power, unit
// type, the token of the province it stands in, its coast and its
// dislodged value.  A Unit without a location (a build slot) has province
// token and coast 0.
UnitBlock unit_block_of(const Unit *unit);

// Writes unit_block_of(unit) into the first 12 bytes of `block`.
void write_unit_block(const Unit *unit, uint8_t *block);

// The entry that gives `unit` the order `order` (for a build slot, a build
// or a waive); fields the order does not set stay 0.  Returns false when
// the order has no unit block to describe it: a build without a location,
// or any order but a build or a waive on a build slot.
bool order_entry_of(const Unit *unit, const Order &order, OrderEntry *entry);
