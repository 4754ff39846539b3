// Building and freeing Positions.
// A Position and its Units share one block: the Units follow the Position
// record in unit order, so a Unit's address orders like its index and a
// build costs one allocation besides the candidate Orders.  Only the parts
// of the fixed-capacity record that the Map uses are written.
#include "world/position.h"

#include <cstddef>
#include <cstring>

#include "common/memory.h"
#include "common/record.h"
#include "world/candidates.h"
#include "world/centres.h"
#include "world/map.h"
#include "world/order.h"
#include "world/season.h"

namespace {

// Candidate Orders live in chunks chained from the Position's block; the
// Orders of a chunk follow its header.  A chunk holds ORDER_CHUNK_SIZE
// Orders, or more when one request asks for more at once.
constexpr uint32_t ORDER_CHUNK_SIZE = 256;
struct alignas(alignof(Order)) OrderChunk {
    OrderChunk *next;
    uint32_t used;
    uint32_t capacity;
};

Order *chunk_orders(OrderChunk *chunk) { return reinterpret_cast<Order *>(chunk + 1); }

struct PositionBlock {
    Position position;
    Unit units[MAX_UNITS];
    OrderChunk *chunks;  // newest first; the first one has the free slots
};

static_assert(offsetof(PositionBlock, units) == sizeof(Position), "Units follow the Position record");

PositionBlock *block_of(Position *position) { return reinterpret_cast<PositionBlock *>(position); }

Unit *next_unit_slot(Position *position) {
    if (position->unit_count >= MAX_UNITS) return nullptr;
    Unit *unit = &block_of(position)->units[position->unit_count];
    position->units[position->unit_count++] = unit;
    return unit;
}

void unit_init(Unit *unit, uint16_t unit_type, uint16_t power, LocationState *location,
               uint32_t dislodged, uint16_t order_token) {
    unit->unit_type = unit_type;
    unit->power = power;
    unit->location = location;
    unit->dislodged = dislodged;
    unit->result = 0;
    order_set_init(&unit->candidates);
    order_set(&unit->order, order_token, nullptr, nullptr);
}

// Provinces, owners and locations (steps that depend only on the Map and
// the CentreTable).
void init_board(Position *position, const CentreTable *centres) {
    Map *map = position->map;
    uint16_t power_count = map->power_count;
    for (uint16_t i = 0; i < map->province_count; i++) {
        ProvinceState *province = &position->provinces[i];
        province->province = &map->provinces[i];
        province->unit = nullptr;
        province->dislodged_unit = nullptr;
        province->reach_count = 0;
        province->direct_reach_count = 0;
        province->owner = power_count;
    }
    // A province listed for two powers ends with the later one.
    for (uint16_t p = 0; p < power_count; p++) {
        const CentreList *list = centres->lists[p];
        if (!list) continue;
        for (uint16_t c = 0; c < list->count; c++)
            if (list->provinces[c] < map->province_count) position->provinces[list->provinces[c]].owner = p;
    }
    for (uint16_t l = 0; l < map->location_count; l++) {
        LocationState *location = &position->locations[l];
        Location *source = &map->locations[l];
        location->location = source;
        location->province = &position->provinces[map_province_index(map, source->province)];
        location->coast = source->coast;
    }
    for (uint16_t p = 0; p < power_count; p++) {
        position->unit_counts[p] = 0;
        position->adjustment[p] = 0;
    }
}

// Replaces an open coast in a unit entry by the coast chosen.  False, with
// nothing chosen, when the entry names a province the Map does not have.
bool entry_choose_coast(const Map *map, PositionUnitEntry *entry) {
    if (entry->province >= map->province_count) return false;
    if (entry->coast & COAST_ANY) entry->coast = position_open_coast(map, entry->province, entry->unit_type);
    return true;
}

// The Location an entry whose coast is chosen stands at, or null when it
// names a power or location the Map does not have (such an entry gets no
// Unit).
Location *entry_location(Map *map, const PositionUnitEntry &entry) {
    if (entry.power >= map->power_count) return nullptr;
    return map_find_location(map, entry.province, entry.coast);
}

// The retreat targets of a dislodged unit's entry, in option order: each
// option's LocationState, or null for an option that names no location.
// An open coast takes the coast a unit of this type would take there
// (position_open_coast), written back into the message's entry.
void find_retreat_targets(Position *position, const PositionUnitEntry &unit, uint8_t *entry,
                          LocationState *targets[MAX_RETREATS]) {
    for (uint16_t r = 0; r < unit.retreat_count; r++) {
        RetreatPlace option = unit.retreats[r];
        if (option.coast & COAST_ANY) {
            option.coast = position_open_coast(position->map, option.province, unit.unit_type);
            position_unit_write_retreat_coast(entry, r, option.coast);
        }
        targets[r] = position_find_location(position, option.province, option.coast);
    }
}

// Places one message unit and writes a chosen coast back into its entry.
// Returns 0 only when memory runs out.
int place_unit(Position *position, uint8_t *entry) {
    PositionUnitEntry fields;
    position_unit_read(entry, &fields);
    if (!entry_choose_coast(position->map, &fields)) return 1;
    position_unit_write_coast(entry, fields.coast);
    Location *place = entry_location(position->map, fields);
    if (!place) return 1;
    LocationState *location = &position->locations[place->index];
    Unit *unit = next_unit_slot(position);
    if (!unit) return 1;
    unit_init(unit, fields.unit_type, fields.power, location, fields.dislodged, ORD_HOLD);
    position->unit_counts[fields.power]++;
    if (!fields.dislodged) {
        location->province->unit = unit;
        return 1;
    }
    location->province->dislodged_unit = unit;
    LocationState *targets[MAX_RETREATS];
    find_retreat_targets(position, fields, entry, targets);
    return add_retreat_candidates(position, targets, fields.retreat_count, &unit->candidates);
}

int place_units(Position *position, uint8_t *message) {
    uint16_t count = position_message_units_held(message);
    for (uint16_t u = 0; u < count; u++)
        if (!place_unit(position, position_message_unit(message, u))) return 0;
    return 1;
}

// How many build slots each power gets: every build due while the Units
// fit; past MAX_UNITS, the slots that fit are dealt one at a time to the
// powers with builds due, in power order and round again, so that the
// room is shared rather than taken by the lowest power indices.
void deal_build_slots(const Position *position, uint16_t slots[MAX_POWERS]) {
    uint16_t power_count = position->map->power_count;
    int wanted = 0;
    for (uint16_t p = 0; p < power_count; p++) {
        slots[p] = 0;
        if (position->adjustment[p] > 0) wanted += position->adjustment[p];
    }
    int room = MAX_UNITS - position->unit_count;
    if (wanted <= room) {
        for (uint16_t p = 0; p < power_count; p++)
            if (position->adjustment[p] > 0) slots[p] = static_cast<uint16_t>(position->adjustment[p]);
        return;
    }
    for (bool dealt = true; room > 0 && dealt;) {
        dealt = false;
        for (uint16_t p = 0; p < power_count && room > 0; p++) {
            if (slots[p] >= position->adjustment[p]) continue;
            slots[p]++;
            room--;
            dealt = true;
        }
    }
}

// Winter (and any season word that is not a season): removals for powers
// with more units than centres, build slots for powers with fewer, each
// power's slots together in power order.  Only a power's first build slot
// carries candidates.
int add_adjustments(Position *position) {
    uint16_t power_count = position->map->power_count;
    for (uint16_t p = 0; p < power_count; p++) {
        const CentreList *list = position->centres->lists[p];
        int owned = list ? list->count : 0;
        int16_t adjustment = static_cast<int16_t>(owned - position->unit_counts[p]);
        position->adjustment[p] = adjustment;
        if (adjustment < 0 && !add_removal_candidates(position, p)) return 0;
    }
    uint16_t slots[MAX_POWERS];
    deal_build_slots(position, slots);
    for (uint16_t p = 0; p < power_count; p++)
        for (uint16_t b = 0; b < slots[p]; b++) {
            Unit *slot = next_unit_slot(position);
            if (!slot) break;
            unit_init(slot, UNIT_ARMY, p, nullptr, 0, ORD_WAIVE);
            if (b == 0 && !add_build_candidates(position, &slot->candidates, p)) return 0;
        }
    return 1;
}

int add_season_candidates(Position *position) {
    switch (season_phase(position->season)) {
    case Phase::MOVEMENT:
        return add_movement_phase_candidates(position);
    case Phase::RETREATS:
        return 1;
    case Phase::ADJUSTMENTS:
    case Phase::NONE:  // a word that is no season builds as winter
        return add_adjustments(position);
    }
    return 1;
}

}  // namespace

// A fleet takes the shore coast of a coastal province and the sea coast of
// any other; an army always stands at the army location, since placed on a
// fleet location it would be offered fleet moves.
uint16_t position_open_coast(const Map *map, uint16_t province, uint16_t unit_type) {
    if (unit_type == UNIT_ARMY) return COAST_ARMY;
    bool coastal = province < map->province_count &&
                   map->provinces[province].terrain == (TERRAIN_LAND | TERRAIN_WATER);
    return coastal ? COAST_SHORE : COAST_SEA;
}

void position_message_unit_counts(Map *map, const uint8_t *message, uint16_t counts[MAX_POWERS]) {
    for (uint16_t p = 0; p < MAX_POWERS; p++) counts[p] = 0;
    if (msg_length(message) < POSITION_UNITS_AT) return;
    uint16_t placed = 0;
    for (uint16_t u = 0, count = position_message_units_held(message); u < count && placed < MAX_UNITS; u++) {
        PositionUnitEntry entry;
        position_unit_read(position_message_unit(message, u), &entry);
        if (!entry_choose_coast(map, &entry) || !entry_location(map, entry)) continue;
        counts[entry.power]++;
        placed++;
    }
}

Position *position_build(Map *map, CentreTable *centres, uint8_t *message) {
    if (!map || !centres || msg_length(message) < POSITION_UNITS_AT) return nullptr;
    Position *position = static_cast<Position *>(mem_alloc(sizeof(PositionBlock)));
    if (!position) return nullptr;
    PositionPhase phase = position_message_phase(message);
    position->map = map;
    position->year = phase.year;
    position->season = phase.season;
    position->unit_count = 0;
    position->centres = centre_table_retain(centres);
    block_of(position)->chunks = nullptr;
    init_board(position, centres);
    if (!place_units(position, message)) {
        brox_position_free(position);
        return nullptr;
    }
    position_build_reach(position);
    if (!add_season_candidates(position)) {
        brox_position_free(position);
        return nullptr;
    }
    return position;
}

uint16_t position_find_location_index(const Position *position, uint16_t province, uint16_t coast) {
    const Map *map = position->map;
    if (province >= map->province_count) return NO_LOCATION;
    const MapLocationIndex *index = map_location_index(map);
    for (uint16_t l = index->first[province]; l != NO_LOCATION; l = index->next[l])
        if (position->locations[l].coast == coast) return l;
    return NO_LOCATION;
}

// Each unit is appended, in unit order, to every province one of its
// adjacent locations lies in; a unit's entries for one province would be
// consecutive, so comparing with the last entry keeps it listed once.
void position_build_reach(Position *position) {
    uint16_t province_count = position->map->province_count;
    for (uint16_t i = 0; i < province_count; i++) position->provinces[i].reach_count = 0;
    for (uint16_t u = 0; u < position->unit_count; u++) {
        Unit *unit = position->units[u];
        if (!unit->location) continue;
        const Location *here = unit->location->location;
        for (uint16_t a = 0; a < here->adjacent_count; a++) {
            ProvinceState *province = position->locations[here->adjacent[a]->index].province;
            uint16_t count = province->reach_count;
            if (count > 0 && province->reach[count - 1] == unit) continue;
            province->reach[count] = unit;
            province->reach_count = static_cast<uint16_t>(count + 1);
        }
    }
    for (uint16_t i = 0; i < province_count; i++)
        position->provinces[i].direct_reach_count = position->provinces[i].reach_count;
}

// Units lie in the Position's block in unit order, so an address check and
// a subtraction give the index.
uint16_t position_unit_index(const Position *position, const Unit *unit) {
    const Unit *first = reinterpret_cast<const PositionBlock *>(position)->units;
    auto address = reinterpret_cast<uintptr_t>(unit);
    auto start = reinterpret_cast<uintptr_t>(first);
    if (address < start || (address - start) % sizeof(Unit) != 0) return NO_UNIT;
    uintptr_t index = (address - start) / sizeof(Unit);
    return index < position->unit_count ? static_cast<uint16_t>(index) : NO_UNIT;
}

namespace {

// Whether `item` is one of the first `count` elements of `array`.
template <typename T>
bool in_array(const T *array, uint32_t count, const T *item) {
    auto address = reinterpret_cast<uintptr_t>(item);
    auto first = reinterpret_cast<uintptr_t>(array);
    return item && address >= first && address < first + sizeof(T) * size_t{count} &&
           (address - first) % sizeof(T) == 0;
}

}  // namespace

bool position_owns_location(const Position *position, const LocationState *location) {
    return in_array(position->locations, position->map->location_count, location);
}

bool position_owns_province(const Position *position, const ProvinceState *province) {
    return in_array(position->provinces, position->map->province_count, province);
}

bool position_owns_unit(const Position *position, const Unit *unit) {
    return unit && position_unit_index(position, unit) != NO_UNIT;
}

Order *position_new_orders(Position *position, uint32_t count) {
    PositionBlock *block = block_of(position);
    OrderChunk *chunk = block->chunks;
    if (!chunk || chunk->capacity - chunk->used < count) {
        uint32_t capacity = count > ORDER_CHUNK_SIZE ? count : ORDER_CHUNK_SIZE;
        chunk = static_cast<OrderChunk *>(mem_alloc(sizeof(OrderChunk) + sizeof(Order) * size_t{capacity}));
        if (!chunk) return nullptr;
        chunk->next = block->chunks;
        chunk->used = 0;
        chunk->capacity = capacity;
        block->chunks = chunk;
    }
    Order *orders = chunk_orders(chunk) + chunk->used;
    chunk->used += count;
    return orders;
}

void position_return_orders(Position *position, uint32_t count) {
    OrderChunk *chunk = block_of(position)->chunks;
    if (chunk && chunk->used >= count) chunk->used -= count;
}

// The Orders stay in the Position's storage and go with it, so emptying a
// set needs no walk of the tree: the header is simply reset.
void unit_candidates_clear(LumAvlTree *candidates) {
    candidates->root = candidates->first = candidates->last = nullptr;
    candidates->count = 0;
}

// The Units and every candidate Order go with the block and its chunks, so
// the candidate trees need no walk of their own.
extern "C" BROX_API void brox_position_free(Position *position) {
    if (!position) return;
    centre_table_release(position->map, position->centres);
    for (uint16_t u = 0; u < position->unit_count; u++) position->units[u] = nullptr;
    for (OrderChunk *chunk = block_of(position)->chunks; chunk;) {
        OrderChunk *next = chunk->next;
        mem_release(chunk);
        chunk = next;
    }
    mem_release(position);
}
