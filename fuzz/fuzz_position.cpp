// Fuzz target: the position reader against the default map and a centre
// table, in every season, then a few phases adjudicated with orders drawn
// from the candidates.  Input: a selector byte for the season, one for the
// centre table, then the position message; what follows the message's
// length chooses orders.
#include <cstddef>
#include <cstdint>

#include "fuzz_input.h"
#include "tools/mapgen/mapgen.h"
#include "world/centres.h"
#include "world/map.h"
#include "world/position.h"

namespace {

struct Board {
    Map *map;
    CentreTable *opening;
    CentreTable *midgame;
};

const Board &board() {
    static Board loaded = [] {
        Board made{};
        GeneratedMap generated = mapgen_default();
        made.map = map_build(generated.map_message.data());
        made.opening = centre_table_retain(centre_table_build(made.map, generated.centres_message.data()));
        GeneratedPosition midgame = mapgen_midgame_position();
        made.midgame = centre_table_retain(centre_table_build(made.map, midgame.centres_message.data()));
        return made;
    }();
    return loaded;
}

const uint16_t SEASONS[] = {SEASON_SPRING, SEASON_SUMMER, SEASON_FALL, SEASON_AUTUMN, SEASON_WINTER,
                            POSITION_REQUEST_SEASON};

// Chooses each unit's order among its candidates (or keeps the default).
void choose_orders(Position *position, FuzzBytes &choices) {
    for (uint16_t u = 0; u < position->unit_count; u++) {
        Unit *unit = position->units[u];
        uint8_t pick = choices.next();
        if (!unit->candidates.count || pick == 0) continue;
        uint32_t skip = pick % unit->candidates.count;
        void *item = LUM_AVL_ITEM(&unit->candidates, unit->candidates.first);
        while (skip-- && item) item = lum_avl_next(&unit->candidates, &static_cast<Order *>(item)->node);
        if (item) unit->order = *static_cast<Order *>(item);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const Board &loaded = board();
    FuzzBytes input(data, size);
    uint8_t season_pick = input.next();
    CentreTable *centres = input.next() & 1 ? loaded.midgame : loaded.opening;
    std::vector<uint8_t> message = fuzz_message(input.here(), input.left(), MSG_POSITION);
    if (message.size() >= 8) put_u16(message.data(), 6, SEASONS[season_pick % 6]);
    input.skip(get_u16(message.data(), 2));
    Position *position = position_build(loaded.map, centres, message.data());
    for (int phase = 0; position && phase < 6; phase++) {
        choose_orders(position, input);
        Position *next = brox_adjudicate(position);
        brox_position_free(position);
        position = next;
    }
    if (position) brox_position_free(position);
    return 0;
}
