// MSG_ORDERS: one power's orders, written by order submission and read by
// the server.  Offsets count from the type word.
//
//   Offset  Width             Field
//   0       6                 header (common/record.h): length 8 + 244 x order_count,
//                             flag FLAG_SUBMIT, reserved 0
//   6       2                 order_count: 1 to 100
//   8       244 x order_count order entries
//
// Order entry:
//   0     96      unit_block: the ordered unit (below)
//   96    2       token: the order token
//   98    2       target_province: the target's province token; TARGET_NONE
//                 for an order without a target
//   100   2       target_coast: the target's coast; COAST_ANY for a support
//   102   2       not set
//   104   96      other_block: the supported unit or the convoyed army
//   200   2       route_length: fleets of a convoyed move's route
//   202   2 x 20  route: the province token of each fleet
//   242   2       not set
//
// Unit block, laid out as the first 12 bytes of a position message's unit
// entry (world/position_message.h) but for its province:
//   0     2       power index
//   2     2       unit_type
//   4     2       province token (not the index)
//   6     2       coast
//   8     4       dislodged
//   12    84      not set
#pragma once

#include <cstddef>
#include <cstdint>

#include "brox.h"
#include "common/bytes.h"
#include "common/record.h"
#include "world/position_message.h"

constexpr size_t ORDERS_COUNT_AT = 6;
constexpr size_t ORDERS_ENTRIES_AT = 8;
constexpr size_t ORDER_ENTRY_SIZE = 244;

constexpr size_t ENTRY_UNIT_AT = 0;
constexpr size_t ENTRY_TOKEN_AT = 96;
constexpr size_t ENTRY_TARGET_PROVINCE_AT = 98;
constexpr size_t ENTRY_TARGET_COAST_AT = 100;
constexpr size_t ENTRY_OTHER_AT = 104;
constexpr size_t ENTRY_ROUTE_LENGTH_AT = 200;
constexpr size_t ENTRY_ROUTE_AT = 202;
constexpr size_t ENTRY_ROUTE_STEP = 2;

constexpr size_t UNIT_BLOCK_SIZE = POSITION_UNIT_SIZE;

struct UnitBlock {
    uint16_t power;
    uint16_t unit_type;
    uint16_t province_token;
    uint16_t coast;
    uint32_t dislodged;
};

struct OrderEntry {
    UnitBlock unit;
    uint16_t token;
    uint16_t target_province;  // a province token, or TARGET_NONE
    uint16_t target_coast;
    UnitBlock other;
    uint16_t route_length;  // as written; at most MAX_ROUTE of `route` are used
    uint16_t route[MAX_ROUTE];
};

// The bytes a message of `order_count` entries takes, header included.
constexpr size_t orders_message_size(size_t order_count) {
    return ORDERS_ENTRIES_AT + ORDER_ENTRY_SIZE * order_count;
}

// The address of order entry `index`.
inline uint8_t *orders_message_entry(uint8_t *message, uint16_t index) {
    return message + orders_message_size(index);
}
inline const uint8_t *orders_message_entry(const uint8_t *message, uint16_t index) {
    return message + orders_message_size(index);
}

// ---------------------------------------------------------------------------
// Reading (the caller has checked the message's length)
// ---------------------------------------------------------------------------

// The entry count the message declares; it holds at least
// ORDERS_ENTRIES_AT bytes.
inline uint16_t orders_message_count(const uint8_t *message) { return get_u16(message, ORDERS_COUNT_AT); }

// Whether `length` bytes from `message` can be read as an orders message:
// a count at most MAX_UNITS, and exactly as many entries as the length
// holds.  The message's own length field is not read.
inline bool orders_message_readable(const uint8_t *message, size_t length) {
    if (length < ORDERS_ENTRIES_AT) return false;
    uint16_t count = orders_message_count(message);
    return count <= MAX_UNITS && length == orders_message_size(count);
}

inline UnitBlock unit_block_read(const uint8_t *block) {
    return {get_u16(block, UNIT_POWER_AT), get_u16(block, UNIT_TYPE_AT), get_u16(block, UNIT_PROVINCE_AT),
            get_u16(block, UNIT_COAST_AT), get_u32(block, UNIT_DISLODGED_AT)};
}

// Reads a whole entry; route entries past route_length (or past MAX_ROUTE)
// are not read and read as 0.
inline OrderEntry order_entry_read(const uint8_t *entry) {
    OrderEntry order{};
    order.unit = unit_block_read(entry + ENTRY_UNIT_AT);
    order.token = get_u16(entry, ENTRY_TOKEN_AT);
    order.target_province = get_u16(entry, ENTRY_TARGET_PROVINCE_AT);
    order.target_coast = get_u16(entry, ENTRY_TARGET_COAST_AT);
    order.other = unit_block_read(entry + ENTRY_OTHER_AT);
    order.route_length = get_u16(entry, ENTRY_ROUTE_LENGTH_AT);
    for (uint16_t r = 0; r < order.route_length && r < MAX_ROUTE; r++)
        order.route[r] = get_u16(entry, ENTRY_ROUTE_AT + ENTRY_ROUTE_STEP * r);
    return order;
}

// ---------------------------------------------------------------------------
// Writing
// ---------------------------------------------------------------------------

// The header of a message of `order_count` entries: type, length, flag
// FLAG_SUBMIT, reserved 0 and the count.
inline void orders_message_init(uint8_t *message, uint16_t order_count) {
    msg_header_init(message, MSG_ORDERS, static_cast<uint16_t>(orders_message_size(order_count)));
    msg_set_flag(message, FLAG_SUBMIT);
    msg_set_reserved(message, 0);
    put_u16(message, ORDERS_COUNT_AT, order_count);
}

// Writes the 12 bytes of a unit block that carry its fields.
inline void unit_block_write(uint8_t *block, const UnitBlock &unit) {
    put_u16(block, UNIT_POWER_AT, unit.power);
    put_u16(block, UNIT_TYPE_AT, unit.unit_type);
    put_u16(block, UNIT_PROVINCE_AT, unit.province_token);
    put_u16(block, UNIT_COAST_AT, unit.coast);
    put_u32(block, UNIT_DISLODGED_AT, unit.dislodged);
}

// Writes every field of an entry, route_length as given and its first (at
// most MAX_ROUTE) route entries.  Bytes no field covers are left as they
// are: a caller that clears the entry first sends them as zero.
inline void order_entry_write(uint8_t *entry, const OrderEntry &order) {
    unit_block_write(entry + ENTRY_UNIT_AT, order.unit);
    put_u16(entry, ENTRY_TOKEN_AT, order.token);
    put_u16(entry, ENTRY_TARGET_PROVINCE_AT, order.target_province);
    put_u16(entry, ENTRY_TARGET_COAST_AT, order.target_coast);
    unit_block_write(entry + ENTRY_OTHER_AT, order.other);
    put_u16(entry, ENTRY_ROUTE_LENGTH_AT, order.route_length);
    for (uint16_t r = 0; r < order.route_length && r < MAX_ROUTE; r++)
        put_u16(entry, ENTRY_ROUTE_AT + ENTRY_ROUTE_STEP * r, order.route[r]);
}
