// Fuzz target: the map-definition reader.  Any bytes either build a Map
// that stays within its capacities and refers only into itself, or build
// nothing.
#include <cstddef>
#include <cstdint>

#include "fuzz_checks.h"
#include "fuzz_input.h"
#include "world/map.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::vector<uint8_t> message = fuzz_message(data, size, MSG_MAP_DEFINITION);
    Map *map = map_build(message.data());
    if (!map) return 0;
    fuzz_check_map(map);
    map_release(map);
    return 0;
}
