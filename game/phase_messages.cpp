// Composing the position and centre-ownership messages of a phase.
#include "game/phase_messages.h"

#include "common/record.h"
#include "world/map.h"

size_t phase_position_message(const Map *map, const Placement *placement, const RetreatPlaces *places,
                              uint8_t *out) {
    uint16_t placed = 0;
    for (uint16_t u = 0; u < placement->count; u++) {
        const PlacedUnit &unit = placement->units[u];
        if (unit.location == NO_LOCATION) continue;
        const Location *here = &map->locations[unit.location];
        PositionUnitEntry entry{};
        entry.power = unit.power;
        entry.unit_type = here->coast == COAST_ARMY ? UNIT_ARMY : UNIT_FLEET;
        entry.province = map_province_index(map, here->province);
        entry.coast = here->coast;
        entry.dislodged = unit.dislodged;
        if (unit.dislodged && places) {
            entry.retreat_count = places[u].count;
            for (uint16_t r = 0; r < entry.retreat_count; r++) {
                const Location *option = &map->locations[places[u].locations[r]];
                entry.retreats[r] = {map_province_index(map, option->province), option->coast};
            }
        }
        uint8_t *bytes = position_message_unit(out, placed++);
        for (size_t b = 0; b < POSITION_UNIT_SIZE; b++) bytes[b] = 0;
        position_unit_write(bytes, entry);
    }
    position_message_init(out, {placement->season, placement->year}, placed);
    msg_set_reserved(out, 0);
    return position_message_size(placed);
}

size_t phase_centres_message(const Map *map, const CentreTable *centres, uint8_t *out) {
    uint16_t nobody = map->power_count;
    uint16_t owner[MAX_PROVINCES];
    for (uint16_t i = 0; i < map->province_count; i++) owner[i] = nobody;
    for (uint16_t p = 0; p < map->power_count; p++) {
        const CentreList *list = centres->lists[p];
        for (uint16_t c = 0; list && c < list->count; c++)
            if (list->provinces[c] < map->province_count) owner[list->provinces[c]] = p;
    }
    bool list_unowned = centres_lists_unowned(map->power_count);
    CentreOwnership entries[MAX_PROVINCES];
    uint16_t count = 0;
    for (uint16_t i = 0; i < map->province_count; i++) {
        if (map->provinces[i].centre_kind == CENTRE_NONE) continue;
        if (owner[i] != nobody) entries[count++] = {owner[i], i};
        else if (list_unowned) entries[count++] = {POWER_UNOWNED, i};
    }
    centres_message_write(out, entries, count);
    msg_set_reserved(out, 0);
    return centres_message_size(count);
}
