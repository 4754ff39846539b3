// Building, retaining and releasing CentreTables.  The count is changed
// atomically in place (the record's field stays a plain 16-bit integer), so
// Positions sharing a table may be built and freed on different threads.
#include "world/centres.h"

#include <atomic>

#include "common/memory.h"
#include "world/centres_message.h"

namespace {

// The count as an atomic object, in the record's own field.
static_assert(std::atomic_ref<uint16_t>::is_always_lock_free);
static_assert(std::atomic_ref<uint16_t>::required_alignment <= alignof(uint16_t));
std::atomic_ref<uint16_t> holders(CentreTable *table) {
    return std::atomic_ref<uint16_t>(table->ref_count);
}

void release_lists(CentreTable *table, uint16_t power_count) {
    for (uint16_t p = 0; p < power_count; p++) mem_release(table->lists[p]);
    mem_release(table);
}

}  // namespace

CentreTable *centre_table_create(const Map *map) {
    CentreTable *table = static_cast<CentreTable *>(mem_alloc(sizeof(CentreTable)));
    if (!table) return nullptr;
    table->ref_count = 0;
    for (uint16_t p = 0; p < MAX_POWERS; p++) table->lists[p] = nullptr;
    for (uint16_t p = 0; p < map->power_count; p++) {
        CentreList *list = static_cast<CentreList *>(mem_alloc(sizeof(CentreList)));
        if (!list) {
            release_lists(table, p);
            return nullptr;
        }
        list->count = 0;
        table->lists[p] = list;
    }
    return table;
}

int centre_table_add(CentreTable *table, uint16_t power, uint16_t province) {
    CentreList *list = table->lists[power];
    if (list->count >= MAX_PROVINCES) return 0;
    list->provinces[list->count++] = province;
    return 1;
}

CentreTable *centre_table_build(const Map *map, const uint8_t *message) {
    CentreTable *table = centre_table_create(map);
    if (!table) return nullptr;
    uint16_t entry_count = centres_message_entries_held(message);
    for (uint16_t e = 0; e < entry_count; e++) {
        CentreOwnership entry = centres_message_entry(message, e);
        // POWER_UNOWNED marks an unowned centre only in games of at most eleven
        // powers, where it is no power's index; in larger games power 11
        // owns its entries like any other power.
        if (entry.power >= map->power_count) continue;
        if (entry.province >= map->province_count) continue;
        centre_table_add(table, entry.power, entry.province);
    }
    return table;
}

CentreTable *centre_table_retain(CentreTable *table) {
    // A new holder comes from one that already holds the table (or from
    // its builder), so nothing needs ordering here.
    holders(table).fetch_add(1, std::memory_order_relaxed);
    return table;
}

void centre_table_release(const Map *map, CentreTable *table) {
    if (!table) return;
    // Release: this holder's reads of the table happen before the free;
    // acquire: the last holder sees every other holder's release.
    if (holders(table).fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    release_lists(table, map->power_count);
}
