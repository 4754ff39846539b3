// Reading where the units of a phase stand.
#include "game/placement.h"

#include "world/map.h"
#include "world/position.h"
#include "world/position_message.h"

void placement_of_position(const Position *position, Placement *out) {
    out->season = position->season;
    out->year = position->year;
    out->count = 0;
    for (uint16_t u = 0; u < position->unit_count && u < MAX_UNITS; u++) {
        const Unit *unit = position->units[u];
        uint16_t location = unit->location ? unit->location->location->index : NO_LOCATION;
        out->units[out->count++] = {location, unit->power, unit->dislodged};
    }
}

// The same entries, in the same way, as position_build places.
void placement_of_message(const Map *map, const uint8_t *message, Placement *out) {
    PositionPhase phase = position_message_phase(message);
    out->season = phase.season;
    out->year = phase.year;
    out->count = 0;
    for (uint16_t u = 0, held = position_message_units_held(message); u < held && out->count < MAX_UNITS; u++) {
        PositionUnitEntry entry;
        position_unit_read(position_message_unit(message, u), &entry);
        if (entry.province >= map->province_count || entry.power >= map->power_count) continue;
        if (entry.coast & COAST_ANY) entry.coast = position_open_coast(map, entry.province, entry.unit_type);
        uint16_t location = map_find_location_index(map, entry.province, entry.coast);
        if (location == NO_LOCATION) continue;
        out->units[out->count++] = {location, entry.power, entry.dislodged};
    }
}
