// Checking the messages a game opens with, before any is built on.
#include "game/opening.h"

#include <cstdarg>
#include <cstdio>

#include "common/record.h"
#include "world/centres_message.h"
#include "world/map.h"
#include "world/position_message.h"
#include "world/season.h"

namespace {

__attribute__((format(printf, 3, 4))) bool refuse(char *why, size_t why_size, const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(why, why_size, format, arguments);
    va_end(arguments);
    return false;
}

// One unit entry of the opening position; `occupied` marks the provinces
// where a unit stands.
bool check_unit(const Map *map, const uint8_t *entry, bool retreats, bool *occupied, char *why, size_t why_size) {
    PositionUnitEntry unit;
    position_unit_read(entry, &unit);
    if (unit.power >= map->power_count)
        return refuse(why, why_size, "power %u is not a power of the map", unit.power);
    if (unit.unit_type != UNIT_ARMY && unit.unit_type != UNIT_FLEET)
        return refuse(why, why_size, "type 0x%04X is neither army nor fleet", unit.unit_type);
    if (unit.province >= map->province_count)
        return refuse(why, why_size, "province %u is not a province of the map", unit.province);
    bool open = (unit.coast & COAST_ANY) != 0;
    if (!open && !map_find_location(const_cast<Map *>(map), unit.province, unit.coast))
        return refuse(why, why_size, "province %u has no location of coast 0x%04X", unit.province, unit.coast);
    if (!open && (unit.unit_type == UNIT_ARMY) != (unit.coast == COAST_ARMY))
        return refuse(why, why_size, "%s",
                      unit.unit_type == UNIT_ARMY ? "an army at a fleet location" : "a fleet at an army location");
    if (unit.dislodged && !retreats) return refuse(why, why_size, "dislodged outside a retreat season");
    if (!unit.dislodged) {
        if (occupied[unit.province])
            return refuse(why, why_size, "a second unit standing in province %u", unit.province);
        occupied[unit.province] = true;
    }
    return true;
}

}  // namespace

bool opening_check_message(const uint8_t *message, size_t size, uint16_t type, char *why, size_t why_size) {
    if (!message) return refuse(why, why_size, "missing");
    if (size < MSG_HEADER_SIZE) return refuse(why, why_size, "%zu bytes, too short for a message header", size);
    uint16_t found = msg_type(message);
    if (found != type) return refuse(why, why_size, "type 0x%04X, expected 0x%04X", found, type);
    uint16_t length = msg_length(message);
    if (length != size)
        return refuse(why, why_size, "%zu bytes, but its header gives a length of %u", size, length);
    return true;
}

bool opening_check_centres(const Map *map, const uint8_t *message, char *why, size_t why_size) {
    size_t size = msg_length(message);
    if (size < CENTRES_ENTRIES_AT) return refuse(why, why_size, "too short for its entry count");
    uint16_t count = centres_message_count(message);
    if (size != centres_message_size(count))
        return refuse(why, why_size, "%u entries do not fill its %zu bytes", count, size);
    for (uint16_t e = 0; e < count; e++) {
        auto [power, province] = centres_message_entry(message, e);
        if (province >= map->province_count || map->provinces[province].centre_kind == CENTRE_NONE)
            return refuse(why, why_size, "entry %u: province %u is not a supply centre of the map", e + 1, province);
        if (power != POWER_UNOWNED && power >= map->power_count)
            return refuse(why, why_size, "entry %u: power %u, but the map has %u powers", e + 1, power,
                          map->power_count);
    }
    return true;
}

bool opening_check_position(const Map *map, const uint8_t *message, char *why, size_t why_size) {
    size_t size = msg_length(message);
    if (size < POSITION_UNITS_AT) return refuse(why, why_size, "too short for its header");
    uint16_t season = position_message_phase(message).season;
    if (season_phase(season) == Phase::NONE)
        return refuse(why, why_size, "season 0x%04X is not one of the five seasons", season);
    uint16_t count = position_message_unit_count(message);
    if (count > MAX_UNITS) return refuse(why, why_size, "%u units, more than 100", count);
    if (size != position_message_size(count))
        return refuse(why, why_size, "%u units do not fill its %zu bytes", count, size);
    bool retreats = season_phase(season) == Phase::RETREATS;
    bool occupied[MAX_PROVINCES] = {};
    for (uint16_t u = 0; u < count; u++) {
        char problem[160];
        if (!check_unit(map, position_message_unit(message, u), retreats, occupied, problem, sizeof problem))
            return refuse(why, why_size, "unit %u: %s", u + 1, problem);
    }
    return true;
}
