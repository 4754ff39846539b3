// Reading a bot's orders message against the server's Position: each entry
// must name a unit of the sending power and one of that unit's candidate
// orders; anything else is refused, and the unit keeps its default.
#pragma once

#include <cstddef>
#include <cstdint>

#include "brox.h"
#include "tools/server/game.h"

// Whether a MSG_ORDERS message (from its type word, `length` bytes) can be
// read: at most MAX_UNITS entries, exactly as many as its length holds.
bool orders_message_readable(const uint8_t *message, size_t length);

// Decodes a MSG_ORDERS message (from its type word, `length` bytes, as the
// wire delivered it) sent for `power` into *out, replacing what *out held.
// Returns false, leaving *out empty, when the message cannot be read: its
// entry count is above MAX_UNITS or does not match its length.
//
// Per season:
// - spring and fall: one order per standing unit (later entries for the
//   same unit are refused); the order must be one of its candidates;
// - summer and autumn: only dislodged units, with a retreat or disband
//   among their candidates;
// - winter: a build must be one of the power's build candidates, in a
//   province not built in yet, while a build slot is left; an explicit
//   waive uses up a slot; a removal must name a unit of a power that has to
//   remove, and no more removals are taken than are due.
bool orders_decode(Position *position, uint16_t power, const uint8_t *message, size_t length,
                   PowerOrders *out);
