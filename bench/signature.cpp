// The behaviour signature over the stored boards.
#include "signature.h"

#include <cstdio>

#include "world/centres.h"
#include "world/map.h"
#include "world/position.h"

const char *const SIGNATURE_BOARDS[3] = {"default", "convoys-14", "large-20"};

namespace {

// FNV-1a over the bytes of 64-bit words.
struct Hash {
    uint64_t value = 1469598103934665603ull;
    void add(uint64_t word) {
        for (int b = 0; b < 8; b++) {
            value ^= (word >> (8 * b)) & 0xFF;
            value *= 1099511628211ull;
        }
    }
};

void add_position(Hash &hash, const Position *position) {
    hash.add(position->season);
    hash.add(position->year);
    hash.add(position->unit_count);
    for (uint16_t u = 0; u < position->unit_count; u++) {
        const Unit *unit = position->units[u];
        hash.add(unit->power);
        hash.add(unit->unit_type);
        hash.add(unit->dislodged);
        hash.add(unit->candidates.count);
        if (unit->location) hash.add(position_location_index(position, unit->location));
    }
}

}  // namespace

std::vector<uint8_t> bench_read_file(const std::string &path) {
    std::vector<uint8_t> bytes;
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (!file) return bytes;
    uint8_t buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    std::fclose(file);
    return bytes;
}

void bench_draw_orders(Position *position, uint32_t *state) {
    for (uint16_t u = 0; u < position->unit_count; u++) {
        Unit *unit = position->units[u];
        if (!unit->candidates.count) continue;
        *state = *state * 1103515245u + 12345u;
        uint32_t skip = (*state >> 16) % unit->candidates.count;
        void *item = LUM_AVL_ITEM(&unit->candidates, unit->candidates.first);
        while (skip--) item = lum_avl_next(&unit->candidates, &static_cast<Order *>(item)->node);
        unit->order = *static_cast<Order *>(item);
    }
}

uint64_t signature_of_board(const std::string &folder) {
    std::vector<uint8_t> map_message = bench_read_file(folder + "/map.bin");
    std::vector<uint8_t> centres_message = bench_read_file(folder + "/centres.bin");
    std::vector<uint8_t> position_message = bench_read_file(folder + "/position.bin");
    if (map_message.empty() || centres_message.empty() || position_message.empty()) return 0;
    Map *map = map_build(map_message.data());
    if (!map) return 0;
    CentreTable *centres = centre_table_retain(centre_table_build(map, centres_message.data()));
    Hash hash;
    Position *position = position_build(map, centres, position_message.data());
    bool complete = position != nullptr;
    uint16_t last_year = position ? static_cast<uint16_t>(position->year + 10) : 0;
    uint32_t state = 7;
    while (position && position->year < last_year) {
        add_position(hash, position);
        bench_draw_orders(position, &state);
        Position *next = brox_adjudicate(position);
        complete = next != nullptr;
        brox_position_free(position);
        position = next;
    }
    if (position) brox_position_free(position);
    centre_table_release(map, centres);
    map_release(map);
    return complete ? hash.value : 0;
}

uint64_t behaviour_signature(const std::string &data_folder,
                             std::vector<std::pair<std::string, uint64_t>> *parts) {
    Hash all;
    for (const char *board : SIGNATURE_BOARDS) {
        uint64_t value = signature_of_board(data_folder + "/" + board);
        all.add(value);
        if (parts) parts->push_back({board, value});
    }
    return all.value;
}
