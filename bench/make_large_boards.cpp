// Makes the largest-map boards of bench/data/large/: twenty mid-game
// springs on the 300-province, 20-power map of the signature's large-20
// board, each reached by playing random years from that board's opening.
//
//   brox_make_large_boards FROM_DIR TO_DIR
//
// FROM_DIR holds map.bin, centres.bin and position.bin (the opening);
// TO_DIR receives map.bin and, for board NN = 01..20, NN-centres.bin and
// NN-position.bin.  Board NN plays 3 + (NN - 1) % 4 years with its own
// draw sequence (seed NN): in movement phases three units in four take a
// move or a support when they have one, every other choice is drawn from
// all candidates.  The same inputs always give the same boards.
#include <cstdio>
#include <string>
#include <vector>

#include "world/centres.h"
#include "world/centres_message.h"
#include "world/map.h"
#include "world/position.h"
#include "world/position_message.h"
#include "world/season.h"
#include "signature.h"

namespace {

bool write_file(const std::string &path, const std::vector<uint8_t> &bytes) {
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

struct Draws {
    uint32_t state;
    uint32_t below(uint32_t range) {
        state = state * 1103515245u + 12345u;
        return (state >> 16) % range;
    }
};

void choose_orders(Position *position, Draws *draws) {
    bool movement = season_phase(position->season) == Phase::MOVEMENT;
    for (uint16_t u = 0; u < position->unit_count; u++) {
        Unit *unit = position->units[u];
        std::vector<Order *> all, active;
        LumAvlTree *set = &unit->candidates;
        for (void *item = LUM_AVL_ITEM(set, set->first); item;
             item = lum_avl_next(set, &static_cast<Order *>(item)->node)) {
            Order *order = static_cast<Order *>(item);
            all.push_back(order);
            if (order->token == ORD_MOVE || order->token == ORD_SUPPORT) active.push_back(order);
        }
        if (all.empty()) continue;
        const std::vector<Order *> &pool = movement && !active.empty() && draws->below(4) != 0 ? active : all;
        unit->order = *pool[draws->below(static_cast<uint32_t>(pool.size()))];
    }
}

std::vector<uint8_t> position_message_of(const Position *position) {
    std::vector<uint8_t> message(position_message_size(position->unit_count), 0);
    position_message_init(message.data(), {position->season, position->year}, position->unit_count);
    for (uint16_t u = 0; u < position->unit_count; u++) {
        const Unit *unit = position->units[u];
        PositionUnitEntry entry{};
        entry.power = unit->power;
        entry.unit_type = unit->unit_type;
        entry.province = position_province_index(position, unit->location->province);
        entry.coast = unit->location->coast;
        position_unit_write(position_message_unit(message.data(), u), entry);
    }
    return message;
}

std::vector<uint8_t> centres_message_of(const Position *position) {
    std::vector<CentreOwnership> entries;
    for (uint16_t p = 0; p < position->map->power_count; p++) {
        const CentreList *list = position->centres->lists[p];
        for (uint16_t c = 0; list && c < list->count; c++) entries.push_back({p, list->provinces[c]});
    }
    std::vector<uint8_t> message(centres_message_size(entries.size()), 0);
    centres_message_write(message.data(), entries.data(), static_cast<uint16_t>(entries.size()));
    return message;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: brox_make_large_boards FROM_DIR TO_DIR\n");
        return 2;
    }
    std::string from = argv[1], to = argv[2];
    std::vector<uint8_t> map_message = bench_read_file(from + "/map.bin");
    std::vector<uint8_t> centres_message = bench_read_file(from + "/centres.bin");
    std::vector<uint8_t> opening = bench_read_file(from + "/position.bin");
    Map *map = map_message.empty() ? nullptr : map_build(map_message.data());
    if (!map || centres_message.empty() || opening.empty()) {
        std::fprintf(stderr, "brox_make_large_boards: no board in %s\n", from.c_str());
        return 1;
    }
    CentreTable *centres = centre_table_retain(centre_table_build(map, centres_message.data()));
    if (!write_file(to + "/map.bin", map_message)) {
        std::fprintf(stderr, "brox_make_large_boards: cannot write to %s\n", to.c_str());
        return 1;
    }
    for (int board = 1; board <= 20; board++) {
        std::vector<uint8_t> message = opening;
        Position *position = position_build(map, centres, message.data());
        uint16_t last_year = static_cast<uint16_t>(position->year + 3 + (board - 1) % 4);
        Draws draws{static_cast<uint32_t>(board)};
        while (position && !(position->year == last_year && position->season == SEASON_SPRING)) {
            choose_orders(position, &draws);
            Position *next = brox_adjudicate(position);
            brox_position_free(position);
            position = next;
        }
        if (!position) {
            std::fprintf(stderr, "brox_make_large_boards: board %d stopped building\n", board);
            return 1;
        }
        char name[32];
        std::snprintf(name, sizeof name, "%02d", board);
        bool written = write_file(to + "/" + name + "-position.bin", position_message_of(position)) &&
                       write_file(to + "/" + name + "-centres.bin", centres_message_of(position));
        std::printf("board %02d: year %u, %u units\n", board, position->year, position->unit_count);
        brox_position_free(position);
        if (!written) return 1;
    }
    centre_table_release(map, centres);
    map_release(map);
    return 0;
}
