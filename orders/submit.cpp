// Sending one power's chosen orders: which Units take part in each season,
// and how each order fills its 244-byte entry.  Every byte of the record
// that the format leaves unset goes out as zero.
#include "orders/submit.h"

#include <cstring>

#include "client/client.h"
#include "common/bytes.h"
#include "common/record.h"
#include "orders/arguments.h"
#include "world/position.h"

namespace {

uint16_t province_token(const LocationState *location) {
    return location->province->province->token;
}

// Winter sends every adjustment but leaves out units that keep holding; the
// retreat seasons send only dislodged units; the movement seasons, and any
// other season word, send every unit.
bool takes_part(uint16_t season, const Unit *unit) {
    switch (season) {
    case SEASON_WINTER:
        return unit->order.token != ORD_HOLD;
    case SEASON_SUMMER:
    case SEASON_AUTUMN:
        return unit->dislodged != 0;
    default:
        return true;
    }
}

// Fills a zeroed entry from the Unit's chosen order.  Returns false when
// the order has no unit block to describe it: a build without a location,
// or any order but a build or a waive on a build slot.
bool write_entry(const Unit *unit, uint8_t *entry) {
    const Order &order = unit->order;
    switch (order.token) {
    case ORD_WAIVE:
        put_u16(entry, ENTRY_UNIT_AT + UNIT_POWER_AT, unit->power);
        break;
    case ORD_BUILD:
        if (!order.target) return false;
        put_u16(entry, ENTRY_UNIT_AT + UNIT_POWER_AT, unit->power);
        put_u16(entry, ENTRY_UNIT_AT + UNIT_TYPE_AT, unit->unit_type);
        put_u16(entry, ENTRY_UNIT_AT + UNIT_PROVINCE_AT, province_token(order.target));
        put_u16(entry, ENTRY_UNIT_AT + UNIT_COAST_AT, order.target->coast);
        break;
    default:
        if (!unit->location) return false;
        write_unit_block(unit, entry + ENTRY_UNIT_AT);
        break;
    }

    put_u16(entry, ENTRY_TOKEN_AT, order.token);
    if (!order.target) {
        put_u16(entry, ENTRY_TARGET_PROVINCE_AT, TARGET_NONE);
    } else if (order.token == ORD_SUPPORT) {
        put_u16(entry, ENTRY_TARGET_PROVINCE_AT, province_token(order.target));
        put_u16(entry, ENTRY_TARGET_COAST_AT, COAST_ANY);
    } else if (order.token != ORD_BUILD) {  // a build's place travels in its unit block
        put_u16(entry, ENTRY_TARGET_PROVINCE_AT, province_token(order.target));
        put_u16(entry, ENTRY_TARGET_COAST_AT, order.target->coast);
    }

    if (order.other_unit) write_unit_block(order.other_unit, entry + ENTRY_OTHER_AT);

    uint16_t route_length = order.route_length < MAX_ROUTE ? order.route_length : MAX_ROUTE;
    put_u16(entry, ENTRY_ROUTE_LENGTH_AT, route_length);
    for (uint16_t r = 0; r < route_length; r++)
        if (order.route[r]) put_u16(entry, ENTRY_ROUTE_AT + 2 * r, order.route[r]->province->token);
    return true;
}

}  // namespace

void write_unit_block(const Unit *unit, uint8_t *block) {
    put_u16(block, UNIT_POWER_AT, unit->power);
    put_u16(block, UNIT_TYPE_AT, unit->unit_type);
    if (unit->location) {
        put_u16(block, UNIT_PROVINCE_AT, province_token(unit->location));
        put_u16(block, UNIT_COAST_AT, unit->location->coast);
    }
    put_u32(block, UNIT_DISLODGED_AT, unit->dislodged);
}

extern "C" BROX_API void brox_order_submit(void *, Position *position, uint16_t power) {
    if (!position) return;
    const uint16_t power_index = static_cast<uint16_t>(power >> 8);
    // Room for the most entries a Position can yield: one per Unit.
    uint8_t record[1 + ORDERS_ENTRIES_AT + ORDER_ENTRY_SIZE * MAX_UNITS];
    uint8_t *message = record_message(record);
    const uint16_t unit_count = position->unit_count < MAX_UNITS ? position->unit_count : MAX_UNITS;
    uint16_t entries = 0;
    for (uint16_t u = 0; u < unit_count; u++) {
        const Unit *unit = position->units[u];
        if (!unit || unit->power != power_index || !takes_part(position->season, unit)) continue;
        // An order copied from another Position would send what that one
        // refers to, if it is still there at all: the unit is left out.
        if (!order_refers_inside(position, &unit->order)) continue;
        uint8_t *entry = message + ORDERS_ENTRIES_AT + ORDER_ENTRY_SIZE * entries;
        std::memset(entry, 0, ORDER_ENTRY_SIZE);
        if (write_entry(unit, entry)) entries++;
    }
    if (entries == 0) return;

    const uint16_t length = static_cast<uint16_t>(ORDERS_ENTRIES_AT + ORDER_ENTRY_SIZE * entries);
    msg_init(record, MSG_ORDERS, length);
    message[MSG_FLAG_AT] = FLAG_SUBMIT;
    message[MSG_FLAG_AT + 1] = 0;
    put_u16(message, ORDERS_COUNT_AT, entries);
    vorn_client_send_message(record, static_cast<size_t>(length) + 1);
}
