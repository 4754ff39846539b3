// Creating, reading and freeing a referee, and giving it orders.
#include "game/referee.h"

#include <cstdio>
#include <cstring>

#include "common/memory.h"
#include "common/record.h"
#include "game/opening.h"
#include "game/take_orders.h"
#include "world/centres.h"
#include "world/map.h"
#include "world/position.h"
#include "world/season.h"

namespace {

// Why the last creation on this thread failed.
thread_local char failure[256];

BroxReferee *refuse(const char **error, const char *what, const char *why) {
    std::snprintf(failure, sizeof failure, "%s: %s", what, why);
    if (error) *error = failure;
    return nullptr;
}

// Builds the Position and the messages of the opening from the kept
// opening message and ownership.  False, with nothing of the referee
// changed, when memory runs out.
bool open_game(BroxReferee *referee) {
    uint8_t message[PHASE_POSITION_CAPACITY];
    std::memcpy(message, referee->opening_message, referee->opening_size);
    Position *position = position_build(referee->map, referee->opening_centres, message);
    if (!position) return false;
    referee->position = position;
    std::memcpy(referee->position_message, message, referee->opening_size);
    referee->position_size = referee->opening_size;
    referee->first_year = position->year;
    referee->centres_size = phase_centres_message(referee->map, referee->opening_centres, referee->centres_message);
    return true;
}

bool power_may_build(const Position *position, uint16_t power) {
    uint16_t slot = first_build_slot(position, power);
    if (slot == NO_UNIT) return false;
    LumAvlTree *set = &position->units[slot]->candidates;
    for (auto *order = static_cast<Order *>(LUM_AVL_ITEM(set, set->first)); order;
         order = static_cast<Order *>(lum_avl_next(set, &order->node)))
        if (order->token == ORD_BUILD) return true;
    return false;
}

// A file of at most one message's bytes into `bytes`; its size, or 0 with
// the reason in *why.
size_t read_message_file(const char *folder, const char *name, uint8_t *bytes, size_t capacity, const char **why) {
    char path[4096];
    if (std::snprintf(path, sizeof path, "%s/%s", folder, name) >= static_cast<int>(sizeof path)) {
        *why = "the folder's name is too long";
        return 0;
    }
    std::FILE *file = std::fopen(path, "rb");
    if (!file) {
        *why = "missing or unreadable";
        return 0;
    }
    size_t size = std::fread(bytes, 1, capacity, file);
    bool more = std::fgetc(file) != EOF;
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    *why = failed ? "cannot be read" : more ? "larger than a message can be" : size == 0 ? "empty" : nullptr;
    return *why ? 0 : size;
}

}  // namespace

bool referee_orders_due(const Position *position, uint16_t power) {
    if (power >= position->map->power_count) return false;
    if (position->season == SEASON_WINTER) {
        int16_t adjustment = position->adjustment[power];
        return adjustment < 0 || (adjustment > 0 && power_may_build(position, power));
    }
    bool retreats = season_phase(position->season) == Phase::RETREATS;
    for (uint16_t u = 0; u < position->unit_count; u++) {
        const Unit *unit = position->units[u];
        if (unit->power == power && unit->location && (!retreats || unit->dislodged)) return true;
    }
    return false;
}

uint16_t referee_majority(const Position *position) {
    const Map *map = position->map;
    for (uint16_t p = 0; p < map->power_count; p++) {
        const CentreList *list = position->centres->lists[p];
        if (list && 2 * list->count > map->centre_count) return p;
    }
    return POWER_NONE;
}

// ---------------------------------------------------------------------------
// Creating and freeing
// ---------------------------------------------------------------------------

namespace {

// What the three opening messages are called in errors: their names, or
// the files they came from.
struct OpeningNames {
    const char *map, *centres, *position;
};
constexpr OpeningNames MESSAGE_NAMES = {"map definition", "centre ownership", "position"};
constexpr OpeningNames FILE_NAMES = {"map.bin", "centres.bin", "position.bin"};

BroxReferee *create(const uint8_t *map_message, size_t map_size, const uint8_t *centres_message,
                    size_t centres_size, const uint8_t *position_message, size_t position_size,
                    const OpeningNames &names, const char **error) {
    char why[200];
    if (!opening_check_message(map_message, map_size, MSG_MAP_DEFINITION, why, sizeof why))
        return refuse(error, names.map, why);
    if (!opening_check_message(centres_message, centres_size, MSG_CENTRE_OWNERSHIP, why, sizeof why))
        return refuse(error, names.centres, why);
    if (!opening_check_message(position_message, position_size, MSG_POSITION, why, sizeof why))
        return refuse(error, names.position, why);
    Map *map = map_build(map_message);
    if (!map)
        return refuse(error, names.map,
                      "refused (more than 300 provinces or 20 powers, counts that overrun the message, an "
                      "adjacency to a province out of range, or more locations or adjacencies than a Map holds), "
                      "or out of memory");
    if (!opening_check_centres(map, centres_message, why, sizeof why)) {
        map_release(map);
        return refuse(error, names.centres, why);
    }
    if (!opening_check_position(map, position_message, why, sizeof why)) {
        map_release(map);
        return refuse(error, names.position, why);
    }
    CentreTable *centres = centre_table_build(map, centres_message);
    auto *referee = centres ? static_cast<BroxReferee *>(mem_alloc(sizeof(BroxReferee))) : nullptr;
    if (!referee) {
        if (centres) centre_table_release(map, centre_table_retain(centres));
        map_release(map);
        return refuse(error, "referee", "out of memory");
    }
    std::memset(referee, 0, sizeof *referee);
    referee->map = map;
    referee->opening_centres = centre_table_retain(centres);
    referee->current = &referee->orders[0];
    referee->previous = &referee->orders[1];
    // The builder writes the coasts it chooses back into the message, which
    // then goes to bots as it was built, and opens every later restart.
    std::memcpy(referee->opening_message, position_message, position_size);
    referee->opening_size = position_size;
    if (open_game(referee)) {
        std::memcpy(referee->opening_message, referee->position_message, position_size);
        return referee;
    }
    brox_referee_free(referee);
    return refuse(error, "referee", "out of memory");
}

}  // namespace

extern "C" BROX_API BroxReferee *brox_referee_new(const uint8_t *map_message, size_t map_size,
                                                  const uint8_t *centres_message, size_t centres_size,
                                                  const uint8_t *position_message, size_t position_size,
                                                  const char **error) {
    return create(map_message, map_size, centres_message, centres_size, position_message, position_size,
                  MESSAGE_NAMES, error);
}

extern "C" BROX_API BroxReferee *brox_referee_load(const char *folder, const char **error) {
    if (!folder) return refuse(error, "map folder", "no folder named");
    static constexpr size_t CAPACITY = MSG_MAX_LENGTH;
    auto *bytes = static_cast<uint8_t *>(mem_alloc(3 * CAPACITY));
    if (!bytes) return refuse(error, "map folder", "out of memory");
    const char *files[3] = {FILE_NAMES.map, FILE_NAMES.centres, FILE_NAMES.position};
    size_t sizes[3] = {};
    for (int f = 0; f < 3; f++) {
        const char *why = nullptr;
        sizes[f] = read_message_file(folder, files[f], bytes + f * CAPACITY, CAPACITY, &why);
        if (sizes[f] == 0) {
            mem_release(bytes);
            return refuse(error, files[f], why);
        }
    }
    BroxReferee *referee = create(bytes, sizes[0], bytes + CAPACITY, sizes[1], bytes + 2 * CAPACITY, sizes[2],
                                  FILE_NAMES, error);
    mem_release(bytes);
    return referee;
}

extern "C" BROX_API void brox_referee_free(BroxReferee *referee) {
    if (!referee) return;
    if (referee->last) brox_position_free(referee->last);
    if (referee->position) brox_position_free(referee->position);
    centre_table_release(referee->map, referee->opening_centres);
    phase_orders_release(&referee->orders[0]);
    phase_orders_release(&referee->orders[1]);
    map_release(referee->map);
    mem_release(referee);
}

extern "C" BROX_API int brox_referee_restart(BroxReferee *referee) {
    if (!referee) return 0;
    Position *played = referee->position;
    if (!open_game(referee)) return 0;
    brox_position_free(played);
    if (referee->last) brox_position_free(referee->last);
    referee->last = nullptr;
    referee->over = END_NONE;
    referee->failure[0] = 0;
    referee->result_count = 0;
    phase_orders_clear(referee->current);
    phase_orders_clear(referee->previous);
    return 1;
}

extern "C" BROX_API int brox_referee_set_years(BroxReferee *referee, uint16_t years) {
    if (!referee) return 0;
    if (years == 0) {
        referee->end_year = 0;
        return 1;
    }
    if (uint32_t{referee->first_year} + years > 0xFFFF) return 0;
    referee->end_year = static_cast<uint16_t>(referee->first_year + years);
    return 1;
}

// ---------------------------------------------------------------------------
// The current phase
// ---------------------------------------------------------------------------

extern "C" BROX_API Position *brox_referee_position(BroxReferee *referee) {
    return referee ? referee->position : nullptr;
}

extern "C" BROX_API const uint8_t *brox_referee_position_message(const BroxReferee *referee, size_t *size) {
    if (size) *size = referee ? referee->position_size : 0;
    return referee ? referee->position_message : nullptr;
}

extern "C" BROX_API const uint8_t *brox_referee_centres_message(const BroxReferee *referee, size_t *size) {
    if (size) *size = referee ? referee->centres_size : 0;
    return referee ? referee->centres_message : nullptr;
}

extern "C" BROX_API uint16_t brox_referee_centre_count(const BroxReferee *referee, uint16_t power) {
    if (!referee || power >= referee->map->power_count) return 0;
    const CentreList *list = referee->position->centres->lists[power];
    return list ? list->count : 0;
}

extern "C" BROX_API int brox_referee_orders_due(const BroxReferee *referee, uint16_t power) {
    if (!referee || referee->over) return 0;
    return referee_orders_due(referee->position, power) ? 1 : 0;
}

extern "C" BROX_API int brox_referee_orders_received(const BroxReferee *referee, uint16_t power) {
    if (!referee || power >= referee->map->power_count) return 0;
    return referee->current->powers[power].received ? 1 : 0;
}

extern "C" BROX_API uint16_t brox_referee_over(const BroxReferee *referee) {
    return referee ? referee->over : END_NONE;
}

// ---------------------------------------------------------------------------
// Orders
// ---------------------------------------------------------------------------

extern "C" BROX_API int brox_referee_order(BroxReferee *referee, uint16_t unit, const Order *order,
                                           uint16_t *refusal) {
    uint16_t why = REFUSAL_NO_UNIT;
    if (referee && referee->over)
        why = REFUSAL_GAME_OVER;
    else if (referee)
        why = order ? take_order(referee->position, unit, order, referee->current) : REFUSAL_NOT_LEGAL;
    if (refusal) *refusal = why;
    return why == REFUSAL_NONE;
}

extern "C" BROX_API int brox_referee_orders_message(BroxReferee *referee, uint16_t power, const uint8_t *message,
                                                    size_t size, uint16_t season, uint16_t year) {
    if (!referee || !message || referee->over || power >= referee->map->power_count) return 0;
    if (size < MSG_HEADER_SIZE || msg_type(message) != MSG_ORDERS || msg_length(message) != size ||
        !orders_message_readable(message, size))
        return 0;
    const Position *position = referee->position;
    if (season == position->season && year == position->year)
        take_orders_message(referee->position, power, message, referee->current);
    else
        take_late_orders(power, message, referee->current);
    return 1;
}
