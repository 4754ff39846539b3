// Order submission: the chosen orders of one power's Units, as one
// MSG_ORDERS record handed to the client library.
#pragma once

#include <cstddef>
#include <cstdint>

#include "brox.h"

// Message layout of MSG_ORDERS (offsets from the type word).
constexpr size_t ORDERS_COUNT_AT = 6;
constexpr size_t ORDERS_ENTRIES_AT = 8;
constexpr size_t ORDER_ENTRY_SIZE = 244;
// Offsets inside one entry.
constexpr size_t ENTRY_UNIT_AT = 0;
constexpr size_t ENTRY_TOKEN_AT = 96;
constexpr size_t ENTRY_TARGET_PROVINCE_AT = 98;
constexpr size_t ENTRY_TARGET_COAST_AT = 100;
constexpr size_t ENTRY_OTHER_AT = 104;
constexpr size_t ENTRY_ROUTE_LENGTH_AT = 200;
constexpr size_t ENTRY_ROUTE_AT = 202;
// A unit block is laid out as a unit entry of the position message; only
// its first 12 bytes are written.
constexpr size_t UNIT_BLOCK_SIZE = 96;

// Writes power, unit type, the token of the province the unit stands in,
// its coast and its dislodged value into the first 12 bytes of `block`.
// A Unit without a location (a build slot) gets power, type and dislodged
// only; its province and coast bytes are left as they are.
void write_unit_block(const Unit *unit, uint8_t *block);
