// Drawing a board from its messages through the library's own builders.
#include "picture.h"

#include "world/centres.h"
#include "world/map.h"
#include "world/position.h"

namespace {

std::string season_title(uint16_t season) {
    switch (season) {
    case SEASON_SPRING: return "Spring";
    case SEASON_SUMMER: return "Summer";
    case SEASON_FALL: return "Fall";
    case SEASON_AUTUMN: return "Autumn";
    default: return "Winter";
    }
}

// The place of a location: its province and the layout's name of its coast.
BoardPlace place_of(const Layout &layout, const Position *position, const LocationState *location) {
    BoardPlace place;
    if (!location || !location->province) return place;
    uint16_t p = position_province_index(position, location->province);
    if (p >= position->map->province_count || p >= layout.provinces.size()) return place;
    place.province = p;
    for (const LayoutCoast &coast : layout.provinces[p].coasts)
        if (coast.code == location->coast) place.coast = coast.name;
    return place;
}

}  // namespace

BoardState board_state_of(const Layout &layout, const Map *map, const CentreTable *centres,
                          const Position *position) {
    BoardState state;
    if (!map) return state;
    state.owners.assign(map->province_count, -1);
    if (centres) {
        // The later power wins when a province is listed twice, as in a
        // Position.
        for (int power = 0; power < map->power_count && power < MAX_POWERS; power++) {
            const CentreList *list = centres->lists[power];
            for (int i = 0; list && i < list->count && i < MAX_PROVINCES; i++)
                if (list->provinces[i] < map->province_count) state.owners[list->provinces[i]] = power;
            state.centre_counts.push_back(list ? list->count : 0);
        }
    }
    if (!position || !position->map) return state;
    state.phase = season_title(position->season) + " " + std::to_string(position->year);
    for (int u = 0; u < position->unit_count && u < MAX_UNITS; u++) {
        const Unit *unit = position->units[u];
        // Build slots stand nowhere and are not drawn.
        if (!unit || !unit->location || !unit->location->location) continue;
        BoardUnit drawn;
        drawn.power = unit->power;
        drawn.fleet = unit->unit_type == UNIT_FLEET;
        drawn.place = place_of(layout, position, unit->location);
        drawn.dislodged = unit->dislodged != 0;
        state.units.push_back(drawn);
    }
    return state;
}

bool draw_position(const Layout &layout, const std::vector<uint8_t> &map_message,
                   const std::vector<uint8_t> &centres_message,
                   const std::vector<uint8_t> &position_message, std::string *svg) {
    Map *map = map_build(map_message.data());
    if (!map) return false;
    CentreTable *centres = centre_table_build(map, centres_message.data());
    if (!centres) {
        map_release(map);
        return false;
    }
    centre_table_retain(centres);
    // The builder may write chosen coasts into its message: it gets a copy.
    std::vector<uint8_t> message = position_message;
    Position *position = position_build(map, centres, message.data());
    bool drawn = position != nullptr;
    if (drawn) {
        *svg = board_svg(layout, board_state_of(layout, map, centres, position));
        brox_position_free(position);
    }
    centre_table_release(map, centres);
    map_release(map);
    return drawn;
}
