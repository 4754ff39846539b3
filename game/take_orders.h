// Taking a power's orders for the current phase: from an orders message
// (each entry must name a unit of the power and one of that unit's
// candidates) or one candidate at a time; anything else is refused with
// its reason, and the unit keeps what it had.
#pragma once

#include <cstddef>
#include <cstdint>

#include "brox.h"
#include "game/phase_orders.h"

// Decodes an orders message (from its type word, readable by
// orders_message_readable) sent for `power` into `orders`, replacing what
// the power gave in this phase.  Per season:
// - spring and fall: one order per standing unit (later entries for the
//   same unit are refused); the order must be one of its candidates;
// - summer and autumn: only dislodged units, with a retreat or disband
//   among their candidates;
// - winter: a build must be one of the power's build candidates, in a
//   province not built in yet, while a build slot is left; an explicit
//   waive uses up a slot; a removal must name a unit of a power that has to
//   remove, and no more removals are taken than are due.
void take_orders_message(Position *position, uint16_t power, const uint8_t *message, PhaseOrders *orders);

// Refuses every entry of an orders message chosen for another phase as
// REFUSAL_EARLIER_PHASE, in place of the power's earlier such refusals of
// this phase.  What the power gave for this phase stays.
void take_late_orders(uint16_t power, const uint8_t *message, PhaseOrders *orders);

// Gives unit u one of its candidates (a build slot: a build or waive
// candidate of its power's first slot), replacing an order it was given
// before.  Returns REFUSAL_NONE when taken.  A candidate that breaks a
// winter rule is refused and kept with its reason; an index or an order
// that is no such candidate is refused (REFUSAL_NO_UNIT, REFUSAL_NOT_LEGAL)
// and not kept.
uint16_t take_order(Position *position, uint16_t unit, const Order *order, PhaseOrders *orders);

// The first build slot (a Unit without a location) of the power, or
// NO_UNIT.
uint16_t first_build_slot(const Position *position, uint16_t power);
