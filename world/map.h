// The Map: provinces, Locations and their adjacency, province neighbour
// lists and the distance tables, built once per game from the
// map-definition message.
#pragma once

#include <cstddef>
#include <cstdint>

#include "brox.h"

// Builds a Map from a MSG_MAP_DEFINITION message (world/map_message.h;
// the address of its type word; the message holds `length` bytes).  Returns null, with nothing left
// allocated, for more than 300 provinces or 20 powers, and for a definition
// the Map cannot hold safely: counts that overrun the message, an adjacency
// naming a province out of range, more than 600 Locations, 20 adjacent
// Locations per Location or 20 neighbours per province.
Map *map_build(const uint8_t *message);

// The Map's block ends with a private index of each province's Locations
// in index order, kept by map_add_location, so that a (province, coast)
// lookup scans one province's Locations instead of all of them.
constexpr uint16_t NO_LOCATION = 0xFFFF;
struct MapLocationIndex {
    uint16_t first[MAX_PROVINCES]; // lowest Location index of the province
    uint16_t last[MAX_PROVINCES];  // highest Location index of the province
    uint16_t next[MAX_LOCATIONS];  // next Location of the same province
};
inline const MapLocationIndex *map_location_index(const Map *map) {
    return reinterpret_cast<const MapLocationIndex *>(map + 1);
}

// Releases a Map built by map_build (one block).  Every Position and
// CentreTable built on it must be released first.
void map_release(Map *map);

// The index of the Location at (province index, coast), comparing all 16
// coast bits; NO_LOCATION if none.
uint16_t map_find_location_index(const Map *map, uint16_t province, uint16_t coast);

// The Location at (province index, coast), or null: read-only in a const
// Map, writable in one being built.
inline const Location *map_find_location(const Map *map, uint16_t province, uint16_t coast) {
    uint16_t l = map_find_location_index(map, province, coast);
    return l == NO_LOCATION ? nullptr : &map->locations[l];
}
inline Location *map_find_location(Map *map, uint16_t province, uint16_t coast) {
    uint16_t l = map_find_location_index(map, province, coast);
    return l == NO_LOCATION ? nullptr : &map->locations[l];
}

// Appends a new Location with the next index; the caller has made sure the
// pair is new and that a slot is free.
Location *map_add_location(Map *map, uint16_t province, uint16_t coast);

// Records one adjacency in the from-province's neighbour list and sets its
// ADJ_LAND / ADJ_WATER flags.  Returns 0 when the list is full.
int map_link_provinces(Location *from, Location *to);

// Fills `distance` from the provinces' neighbour lists, then `home_distance`.
void map_compute_distances(Map *map);

// The index of a province in its Map (its place in `provinces`).  This,
// not the token's high byte, names provinces beyond index 255.
inline uint16_t map_province_index(const Map *map, const Province *province) {
    return static_cast<uint16_t>(province - map->provinces);
}
