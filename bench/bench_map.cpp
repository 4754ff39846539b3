// Building the largest Map the library takes: 300 provinces, 20 powers and
// about 1,500 adjacency entries on a grid with some diagonals.
#include <benchmark/benchmark.h>

#include <vector>

#include "world/map.h"
#include "world/map_message.h"

namespace {

std::vector<uint8_t> grid_definition() {
    const int width = 20, height = 15, provinces = width * height;
    std::vector<std::pair<int, int>> moves;
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            int p = y * width + x;
            if (x + 1 < width) moves.push_back({p, p + 1});
            if (y + 1 < height) moves.push_back({p, p + width});
            if (x + 1 < width && y + 1 < height && (x + y) % 2 == 0) moves.push_back({p, p + width + 1});
        }
    std::vector<MapProvinceEntry> entries;
    for (int i = 0; i < provinces; i++) {
        bool centre = i % 7 == 0;
        entries.push_back({static_cast<uint16_t>(((i & 0xFF) << 8) | 0x50), centre ? 1u : 0u,
                           static_cast<uint16_t>(centre ? (i / 7) % 21 : 0), MAPDEF_TERRAIN_LAND});
    }
    std::vector<MapAdjacencyEntry> adjacencies;
    for (auto [a, b] : moves)
        for (auto [from, to] : {std::pair{a, b}, std::pair{b, a}})
            adjacencies.push_back({static_cast<uint16_t>(from), COAST_ARMY, static_cast<uint16_t>(to), COAST_ARMY});
    std::vector<uint8_t> message(map_message_size(entries.size(), adjacencies.size()));
    map_message_write(message.data(), 20, entries.data(), provinces, adjacencies.data(),
                      static_cast<uint32_t>(adjacencies.size()));
    return message;
}

void BM_MapBuild300Provinces(benchmark::State &state) {
    std::vector<uint8_t> message = grid_definition();
    for (auto _ : state) {
        Map *map = map_build(message.data());
        benchmark::DoNotOptimize(map);
        map_release(map);
    }
    state.counters["adjacencies"] = map_message_counts(message.data()).adjacency_count;
}
BENCHMARK(BM_MapBuild300Provinces)->Unit(benchmark::kMillisecond);

}  // namespace

