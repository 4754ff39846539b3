// Sending one power's chosen orders: which Units take part in each season,
// each as its entry (orders/order_entry.h).  Every byte of the record that
// the format leaves unset goes out as zero.
#include "orders/submit.h"

#include <cstring>

#include "client/client.h"
#include "common/record.h"
#include "orders/order_entry.h"
#include "world/arguments.h"
#include "world/position.h"
#include "world/season.h"

namespace {

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
