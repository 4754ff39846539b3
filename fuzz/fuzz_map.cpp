// Fuzz target: the map-definition reader.  Any bytes either build a Map
// within its capacities or nothing.
#include <cstddef>
#include <cstdint>

#include "fuzz_input.h"
#include "world/map.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::vector<uint8_t> message = fuzz_message(data, size, MSG_MAP_DEFINITION);
    Map *map = map_build(message.data());
    if (map) {
        if (map->province_count > MAX_PROVINCES || map->location_count > MAX_LOCATIONS) __builtin_trap();
        for (uint16_t l = 0; l < map->location_count; l++)
            if (map->locations[l].adjacent_count > MAX_ADJACENT) __builtin_trap();
        map_release(map);
    }
    return 0;
}
