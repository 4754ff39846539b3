// Composing the next-position message and turning it into the next
// Position.
#include <cstring>

#include "adjudicator/adjudicator.h"
#include "common/memory.h"
#include "world/position.h"

uint8_t *next_message_create(uint16_t capacity, uint16_t season, uint16_t year) {
    size_t size = position_message_size(capacity);
    uint8_t *message = static_cast<uint8_t *>(mem_alloc(size));
    if (!message) return nullptr;
    std::memset(message, 0, size);
    position_message_init(message, {season, year}, 0);
    return message;
}

void next_message_release(uint8_t *message) { mem_release(message); }

void next_message_add_unit(uint8_t *message, const Position *position, const Unit *unit,
                           const LocationState *where, uint32_t dislodged) {
    uint16_t count = position_message_unit_count(message);
    PositionUnitEntry entry;
    entry.power = unit->power;
    entry.unit_type = unit->unit_type;
    entry.province = position_province_index(position, where->province);
    entry.coast = where->coast;
    entry.dislodged = dislodged;
    entry.retreat_count = 0;
    position_unit_write(position_message_unit(message, count), entry);
    position_message_set_unit_count(message, static_cast<uint16_t>(count + 1));
}

Position *next_position_build(const Position *position, uint8_t *message) {
    if (position_message_phase(message).season == SEASON_WINTER) return prepare_winter(position, message);
    return position_build(position->map, position->centres, message);
}
