// Fuzz target: the centre-ownership reader against the default map.
#include <cstddef>
#include <cstdint>

#include "fuzz_input.h"
#include "tools/mapgen/mapgen.h"
#include "world/centres.h"
#include "world/map.h"

namespace {
Map *default_map() {
    static Map *map = map_build(mapgen_default().map_message.data());
    return map;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Map *map = default_map();
    std::vector<uint8_t> message = fuzz_message(data, size, MSG_CENTRE_OWNERSHIP);
    CentreTable *table = centre_table_build(map, message.data());
    if (!table) return 0;
    for (uint16_t p = 0; p < map->power_count; p++)
        for (uint16_t c = 0; c < table->lists[p]->count; c++)
            if (table->lists[p]->provinces[c] >= map->province_count) __builtin_trap();
    centre_table_retain(table);
    centre_table_release(map, table);
    return 0;
}
