// Building the Map from MSG_MAP_DEFINITION.
// Locations are numbered in first-mention order over the adjacency entries
// (from end before to end), then the army Locations of land provinces that
// no adjacency mentions, in province order.  Positions rely on this order.
#include "world/map.h"

#include <cstring>

#include "common/memory.h"
#include "common/record.h"
#include "world/map_message.h"

namespace {

// ---------------------------------------------------------------------------
// Validation of the message before anything is allocated
// ---------------------------------------------------------------------------

struct Definition {
    const uint8_t *message;
    MapCounts counts;
};

// Reads the counts and checks that they fit the limits and the message, and
// that every adjacency names provinces that exist.
bool read_definition(const uint8_t *message, Definition *definition) {
    size_t length = msg_length(message);
    if (length < MAPDEF_PROVINCES_AT) return false;
    definition->message = message;
    MapCounts counts = map_message_counts(message);
    definition->counts = counts;
    if (counts.province_count > MAX_PROVINCES || counts.power_count > MAX_POWERS) return false;
    if (map_message_size(counts.province_count, counts.adjacency_count) > length) return false;
    for (uint32_t a = 0; a < counts.adjacency_count; a++) {
        MapAdjacencyEntry entry = map_message_adjacency(message, counts.province_count, a);
        if (entry.from_province >= counts.province_count || entry.to_province >= counts.province_count)
            return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Provinces
// ---------------------------------------------------------------------------

void fill_provinces(Map *map, const Definition &definition) {
    uint16_t power_count = definition.counts.power_count;
    for (uint16_t i = 0; i < definition.counts.province_count; i++) {
        MapProvinceEntry entry = map_message_province(definition.message, i);
        Province *province = &map->provinces[i];
        province->token = entry.token;
        province->terrain = static_cast<uint8_t>(((entry.terrain & MAPDEF_TERRAIN_LAND) ? TERRAIN_LAND : 0) |
                                                 ((entry.terrain & MAPDEF_TERRAIN_WATER) ? TERRAIN_WATER : 0));
        province->neighbour_count = 0;
        // A province that is not a centre gets power_count, so no later test
        // of home_power reads an unset value.
        province->centre_kind = CENTRE_NONE;
        province->home_power = power_count;
        if (entry.is_centre != 0) {
            // A home power beyond the map's powers names nobody: the centre
            // is taken as neutral.
            bool is_home = entry.home_power < power_count;
            province->centre_kind = is_home ? CENTRE_HOME : CENTRE_NEUTRAL;
            province->home_power = is_home ? entry.home_power : power_count;
            map->centre_count++;
        }
    }
}

// ---------------------------------------------------------------------------
// Locations and adjacency
// ---------------------------------------------------------------------------

MapLocationIndex *writable_index(Map *map) { return reinterpret_cast<MapLocationIndex *>(map + 1); }

// Finds or creates the Location; null when the Map has no room for it.
Location *find_or_add(Map *map, uint16_t province, uint16_t coast) {
    Location *location = map_find_location(map, province, coast);
    if (location) return location;
    if (map->location_count >= MAX_LOCATIONS) return nullptr;
    return map_add_location(map, province, coast);
}

bool link_adjacencies(Map *map, const Definition &definition) {
    for (uint32_t a = 0; a < definition.counts.adjacency_count; a++) {
        MapAdjacencyEntry entry = map_message_adjacency(definition.message, definition.counts.province_count, a);
        Location *from = find_or_add(map, entry.from_province, entry.from_coast);
        if (!from) return false;
        Location *to = find_or_add(map, entry.to_province, entry.to_coast);
        if (!to || from->adjacent_count >= MAX_ADJACENT) return false;
        from->adjacent[from->adjacent_count++] = to;
        map->distance[entry.from_province][entry.to_province] = 1;
        if (!map_link_provinces(from, to)) return false;
    }
    return true;
}

// Every land province gets its army Location, even one no adjacency names.
bool add_army_locations(Map *map) {
    for (uint16_t i = 0; i < map->province_count; i++) {
        if (!(map->provinces[i].terrain & TERRAIN_LAND)) continue;
        if (!find_or_add(map, i, COAST_ARMY)) return false;
    }
    return true;
}

}  // namespace

// Scans the province's own Locations, which are chained in index order, so
// the result is the first match in index order as a full scan would find.
uint16_t map_find_location_index(const Map *map, uint16_t province, uint16_t coast) {
    if (province >= map->province_count) return NO_LOCATION;
    const MapLocationIndex *index = map_location_index(map);
    for (uint16_t l = index->first[province]; l != NO_LOCATION; l = index->next[l])
        if (map->locations[l].coast == coast) return l;
    return NO_LOCATION;
}

Location *map_add_location(Map *map, uint16_t province, uint16_t coast) {
    uint16_t l = map->location_count;
    Location *location = &map->locations[l];
    location->index = l;
    location->province = &map->provinces[province];
    location->coast = coast;
    location->adjacent_count = 0;
    map->location_count++;
    MapLocationIndex *index = writable_index(map);
    index->next[l] = NO_LOCATION;
    if (index->first[province] == NO_LOCATION)
        index->first[province] = l;
    else
        index->next[index->last[province]] = l;
    index->last[province] = l;
    return location;
}

int map_link_provinces(Location *from, Location *to) {
    Province *origin = from->province;
    ProvinceNeighbour *neighbour = nullptr;
    for (uint16_t n = 0; n < origin->neighbour_count && !neighbour; n++)
        if (origin->neighbours[n].province == to->province) neighbour = &origin->neighbours[n];
    if (!neighbour) {
        if (origin->neighbour_count >= MAX_ADJACENT) return 0;
        neighbour = &origin->neighbours[origin->neighbour_count++];
        neighbour->province = to->province;
        neighbour->flags = 0;
    }
    if (from->coast != COAST_SEA && to->coast != COAST_SEA) neighbour->flags |= ADJ_LAND;
    if (from->coast != COAST_ARMY && to->coast != COAST_ARMY) neighbour->flags |= ADJ_WATER;
    return 1;
}

namespace {

// ---------------------------------------------------------------------------
// Distances
// ---------------------------------------------------------------------------

// Sets of provinces as bits, province index i at bit i % 64 of word i / 64.
constexpr int PROVINCE_WORDS = (MAX_PROVINCES + 63) / 64;
static_assert(PROVINCE_WORDS == 5, "fill_distance_row holds a set in five words");
struct ProvinceSet {
    uint64_t words[PROVINCE_WORDS];
};

// Every province's neighbours as a set.
void neighbour_sets_build(const Map *map, ProvinceSet *sets) {
    for (uint16_t i = 0; i < map->province_count; i++) {
        ProvinceSet &set = sets[i];
        for (uint64_t &word : set.words) word = 0;
        const Province &province = map->provinces[i];
        for (uint16_t n = 0; n < province.neighbour_count; n++) {
            uint16_t to = map_province_index(map, province.neighbours[n].province);
            set.words[to / 64] |= uint64_t{1} << (to % 64);
        }
    }
}

// One breadth-first search from `source` fills its row: the level at which
// each province is first reached, and for the source itself the level at
// which a move first leads back into it.  Each level is the union of the
// neighbour sets of the level before, less what was reached already.
// Levels of 255 and more are left at 255 (no path shorter than 255 moves).
void fill_distance_row(Map *map, const ProvinceSet *neighbours, uint16_t source) {
    uint8_t *row = map->distance[source];
    std::memset(row, DISTANCE_UNREACHABLE, map->province_count);
    ProvinceSet reached{}, frontier{};
    reached.words[source / 64] = frontier.words[source / 64] = uint64_t{1} << (source % 64);
    for (unsigned level = 1; level < DISTANCE_UNREACHABLE; level++) {
        // Five words held apart, so that they stay in registers.
        uint64_t n0 = 0, n1 = 0, n2 = 0, n3 = 0, n4 = 0;
        for (int w = 0; w < PROVINCE_WORDS; w++)
            for (uint64_t bits = frontier.words[w]; bits; bits &= bits - 1) {
                const uint64_t *around = neighbours[w * 64 + __builtin_ctzll(bits)].words;
                n0 |= around[0];
                n1 |= around[1];
                n2 |= around[2];
                n3 |= around[3];
                n4 |= around[4];
            }
        ProvinceSet next{{n0, n1, n2, n3, n4}};
        if (row[source] == DISTANCE_UNREACHABLE && (next.words[source / 64] >> (source % 64)) & 1)
            row[source] = static_cast<uint8_t>(level);
        bool any = false;
        for (int w = 0; w < PROVINCE_WORDS; w++) {
            uint64_t fresh = next.words[w] & ~reached.words[w];
            reached.words[w] |= fresh;
            frontier.words[w] = fresh;
            any |= fresh != 0;
            for (; fresh; fresh &= fresh - 1) row[w * 64 + __builtin_ctzll(fresh)] = static_cast<uint8_t>(level);
        }
        if (!any) return;
    }
}

}  // namespace

// Moves are province to province (a province's neighbours), all one step,
// so a breadth-first search from each province gives its row.
void map_compute_distances(Map *map) {
    int n = map->province_count;
    ProvinceSet neighbours[MAX_PROVINCES];
    neighbour_sets_build(map, neighbours);
    for (uint16_t i = 0; i < n; i++) fill_distance_row(map, neighbours, i);
    for (int p = 0; p < map->power_count; p++) {
        uint8_t *home_row = map->home_distance[p];
        std::memset(home_row, DISTANCE_UNREACHABLE, static_cast<size_t>(n));
        for (int i = 0; i < n; i++) {
            const Province *province = &map->provinces[i];
            if (province->centre_kind != CENTRE_HOME || province->home_power != p) continue;
            for (int j = 0; j < n; j++)
                if (map->distance[i][j] < home_row[j]) home_row[j] = map->distance[i][j];
        }
    }
}

Map *map_build(const uint8_t *message) {
    Definition definition;
    if (!read_definition(message, &definition)) return nullptr;
    Map *map = static_cast<Map *>(mem_alloc(sizeof(Map) + sizeof(MapLocationIndex)));
    if (!map) return nullptr;
    // The Map is built once per game: clearing it keeps unused capacity
    // deterministic for bots that inspect the record.
    std::memset(map, 0, sizeof(Map));
    std::memset(writable_index(map)->first, 0xFF, sizeof(MapLocationIndex::first));
    map->province_count = definition.counts.province_count;
    map->power_count = definition.counts.power_count;
    for (int i = 0; i < map->province_count; i++)
        std::memset(map->distance[i], DISTANCE_UNREACHABLE, map->province_count);
    fill_provinces(map, definition);

    if (!link_adjacencies(map, definition) || !add_army_locations(map)) {
        mem_release(map);
        return nullptr;
    }
    map_compute_distances(map);
    return map;
}

void map_release(Map *map) { mem_release(map); }
