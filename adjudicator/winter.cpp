// The winter step after the fall: centre ownership from where the units
// stand, and the skip to spring when no power has anything to adjust.
#include "adjudicator/adjudicator.h"
#include "world/centres.h"
#include "world/position.h"

namespace {

// A centre with a unit standing in it goes to that unit's power; an empty
// one keeps its owner.  The placement read is the adjudicated Position's.
CentreTable *ownership_after(const Position *position) {
    const Map *map = position->map;
    CentreTable *table = centre_table_create(map);
    if (!table) return nullptr;
    for (uint16_t k = 0; k < map->province_count; k++) {
        if (map->provinces[k].centre_kind == CENTRE_NONE) continue;
        const ProvinceState &province = position->provinces[k];
        if (province.unit && province.unit->power < map->power_count)
            centre_table_add(table, province.unit->power, k);
        else if (province.owner < map->power_count)
            centre_table_add(table, province.owner, k);
    }
    return table;
}

bool nothing_to_adjust(const Map *map, const CentreTable *table, const uint16_t unit_counts[MAX_POWERS]) {
    for (uint16_t p = 0; p < map->power_count; p++)
        if (table->lists[p]->count != unit_counts[p]) return false;
    return true;
}

}  // namespace

// The units each power has in the winter are counted from the message, so
// the Position is built once, as winter or as the spring that replaces it.
Position *prepare_winter(const Position *position, uint8_t *message) {
    CentreTable *table = ownership_after(position);
    if (!table) return nullptr;
    uint16_t unit_counts[MAX_POWERS];
    position_message_unit_counts(position->map, message, unit_counts);
    if (nothing_to_adjust(position->map, table, unit_counts)) {
        uint16_t year = position_message_phase(message).year;
        position_message_set_phase(message, {SEASON_SPRING, static_cast<uint16_t>(year + 1)});
    }
    // The Position holds the only reference to the new table.
    centre_table_retain(table);
    Position *next = position_build(position->map, table, message);
    centre_table_release(position->map, table);
    return next;
}
