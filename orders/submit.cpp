// Sending one power's chosen orders: which Units take part in each season,
// and how each order fills its 244-byte entry.  Every byte of the record
// that the format leaves unset goes out as zero.
#include "orders/submit.h"

#include <cstring>

#include "client/client.h"
#include "common/record.h"
#include "orders/arguments.h"
#include "world/position.h"
#include "world/season.h"

namespace {

uint16_t province_token(const LocationState *location) {
    return location->province->province->token;
}

// Winter sends every adjustment but leaves out units that keep holding; the
// retreat seasons send only dislodged units; the movement seasons, and any
// other season word, send every unit.
bool takes_part(uint16_t season, const Unit *unit) {
    switch (season_phase(season)) {
    case Phase::ADJUSTMENTS:
        return unit->order.token != ORD_HOLD;
    case Phase::RETREATS:
        return unit->dislodged != 0;
    case Phase::MOVEMENT:
    case Phase::NONE:  // a word that is no season is submitted as a movement phase
        return true;
    }
    return true;
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

extern "C" BROX_API void brox_order_submit(void *, Position *position, uint16_t power) {
    if (!position) return;
    const uint16_t power_index = static_cast<uint16_t>(power >> 8);
    // Room for the most entries a Position can yield: one per Unit.
    uint8_t record[RECORD_MESSAGE_AT + orders_message_size(MAX_UNITS)];
    uint8_t *message = record_message(record);
    const uint16_t unit_count = position->unit_count < MAX_UNITS ? position->unit_count : MAX_UNITS;
    uint16_t entries = 0;
    for (uint16_t u = 0; u < unit_count; u++) {
        const Unit *unit = position->units[u];
        if (!unit || unit->power != power_index || !takes_part(position->season, unit)) continue;
        // An order copied from another Position would send what that one
        // refers to, if it is still there at all: the unit is left out.
        if (!order_refers_inside(position, &unit->order)) continue;
        OrderEntry entry;
        if (!order_entry_of(unit, unit->order, &entry)) continue;
        uint8_t *bytes = orders_message_entry(message, entries++);
        std::memset(bytes, 0, ORDER_ENTRY_SIZE);
        order_entry_write(bytes, entry);
    }
    if (entries == 0) return;

    const uint16_t length = static_cast<uint16_t>(orders_message_size(entries));
    orders_message_init(msg_init(record, MSG_ORDERS, length), entries);
    vorn_client_send_message(record, record_size(record));
}
