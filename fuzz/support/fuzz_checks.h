// Structural checks the fuzz targets run on what the library built from
// hostile bytes: counts within capacities and every reference pointing
// into the record it belongs to.  A failed check stops the target with a
// trap, which the fuzzer reports as a crash.
#pragma once

#include <cstdint>

#include "brox.h"
#include "world/map.h"
#include "world/position.h"

inline void fuzz_require(bool holds) {
    if (!holds) __builtin_trap();
}

// Counts within capacities; every Location in its own slot, lying in a
// province of the Map and reachable again by its (province, coast) pair;
// every adjacency and neighbour pointing into the Map.
inline void fuzz_check_map(Map *map) {
    fuzz_require(map->province_count <= MAX_PROVINCES && map->power_count <= MAX_POWERS);
    fuzz_require(map->location_count <= MAX_LOCATIONS);
    fuzz_require(map->centre_count <= map->province_count);
    for (uint16_t i = 0; i < map->province_count; i++) {
        const Province &province = map->provinces[i];
        fuzz_require(province.neighbour_count <= MAX_ADJACENT);
        for (uint16_t n = 0; n < province.neighbour_count; n++) {
            const Province *other = province.neighbours[n].province;
            fuzz_require(other >= map->provinces && other < map->provinces + map->province_count);
        }
        if (province.centre_kind == CENTRE_HOME) fuzz_require(province.home_power < map->power_count);
    }
    for (uint16_t l = 0; l < map->location_count; l++) {
        Location &location = map->locations[l];
        fuzz_require(location.index == l && location.adjacent_count <= MAX_ADJACENT);
        uint16_t province = map_province_index(map, location.province);
        fuzz_require(province < map->province_count);
        fuzz_require(map_find_location(map, province, location.coast) == &location);
        for (uint16_t a = 0; a < location.adjacent_count; a++) {
            const Location *adjacent = location.adjacent[a];
            fuzz_require(adjacent >= map->locations && adjacent < map->locations + map->location_count);
        }
    }
}

inline bool fuzz_owns_location(const Position *position, const LocationState *location) {
    return location >= position->locations &&
           location < position->locations + position->map->location_count;
}

inline bool fuzz_owns_unit(const Position *position, const Unit *unit) {
    for (uint16_t u = 0; u < position->unit_count; u++)
        if (position->units[u] == unit) return true;
    return false;
}

// Every Unit where the Position says it is, reach lists within capacity,
// every candidate set sorted, counted right and pointing only into this
// Position.
inline void fuzz_check_position(const Position *position) {
    const Map *map = position->map;
    fuzz_require(position->unit_count <= MAX_UNITS);
    for (uint16_t u = 0; u < position->unit_count; u++) {
        const Unit *unit = position->units[u];
        fuzz_require(unit != nullptr && unit->power < map->power_count);
        if (unit->location) {
            fuzz_require(fuzz_owns_location(position, unit->location));
            const ProvinceState *province = unit->location->province;
            if (unit->dislodged)
                fuzz_require(province->dislodged_unit != nullptr);
            else
                fuzz_require(province->unit != nullptr);
        }
        const LumAvlTree &set = unit->candidates;
        uint32_t walked = 0;
        const Order *previous = nullptr;
        for (void *item = LUM_AVL_ITEM(&set, set.first); item;
             item = lum_avl_next(const_cast<LumAvlTree *>(&set), &static_cast<Order *>(item)->node)) {
            const Order *order = static_cast<const Order *>(item);
            fuzz_require(++walked <= set.count);
            fuzz_require(!previous || set.compare(previous, order) < 0);
            fuzz_require(!order->target || fuzz_owns_location(position, order->target));
            fuzz_require(!order->other_unit || fuzz_owns_unit(position, order->other_unit));
            fuzz_require(order->route_length <= MAX_ROUTE);
            for (uint16_t r = 0; r < order->route_length; r++)
                fuzz_require(order->route[r] >= position->provinces &&
                             order->route[r] < position->provinces + map->province_count);
            previous = order;
        }
        fuzz_require(walked == set.count);
    }
    for (uint16_t i = 0; i < map->province_count; i++) {
        const ProvinceState &province = position->provinces[i];
        fuzz_require(province.reach_count <= MAX_UNITS);
        fuzz_require(province.direct_reach_count <= province.reach_count);
        fuzz_require(province.owner <= map->power_count);
        if (province.unit) fuzz_require(fuzz_owns_unit(position, province.unit));
        if (province.dislodged_unit) fuzz_require(fuzz_owns_unit(position, province.dislodged_unit));
        for (uint16_t r = 0; r < province.reach_count; r++)
            fuzz_require(fuzz_owns_unit(position, province.reach[r]));
    }
}
