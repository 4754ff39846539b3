// Fuzz target: the centre-ownership reader against a valid Map.  Input: one
// byte choosing the Map (the default map with 7 powers, or a generated map
// with 20 powers, where power index 11 is a real power), then the message.
#include <cstddef>
#include <cstdint>

#include "fuzz_checks.h"
#include "fuzz_input.h"
#include "fuzz_maps.h"
#include "world/centres.h"
#include "world/map.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzBytes input(data, size);
    Map *map = fuzz_map_choice(input.next());
    std::vector<uint8_t> message = fuzz_message(input.here(), input.left(), MSG_CENTRE_OWNERSHIP);
    CentreTable *table = centre_table_build(map, message.data());
    fuzz_require(table != nullptr && table->ref_count == 0);
    for (uint16_t p = 0; p < map->power_count; p++) {
        const CentreList *list = table->lists[p];
        fuzz_require(list != nullptr && list->count <= MAX_PROVINCES);
        for (uint16_t c = 0; c < list->count; c++)
            fuzz_require(list->provinces[c] < map->province_count);
    }
    centre_table_retain(table);
    centre_table_release(map, table);
    return 0;
}
