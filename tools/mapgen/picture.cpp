// Drawing a board from its messages through the library's own builders.
#include "picture.h"

#include "world/centres.h"
#include "world/map.h"
#include "world/position.h"

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
        *svg = board_svg(layout, map, centres, position);
        brox_position_free(position);
    }
    centre_table_release(map, centres);
    map_release(map);
    return drawn;
}
