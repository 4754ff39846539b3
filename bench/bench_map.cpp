// Building the largest Map the library takes: 300 provinces, 20 powers and
// about 1,500 adjacency entries on a grid with some diagonals.
#include <benchmark/benchmark.h>

#include <vector>

#include "common/bytes.h"
#include "world/map.h"

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
    size_t adjacencies = moves.size() * 2;
    std::vector<uint8_t> message(16 + 12 * provinces + 8 * adjacencies);
    put_u16(message.data(), 0, 0x0A48);
    put_u16(message.data(), 2, static_cast<uint16_t>(message.size()));
    put_u16(message.data(), 6, 20);
    put_u16(message.data(), 8, provinces);
    put_u32(message.data(), 12, static_cast<uint32_t>(adjacencies));
    for (int i = 0; i < provinces; i++) {
        uint8_t *entry = message.data() + 16 + 12 * i;
        put_u16(entry, 0, static_cast<uint16_t>(((i & 0xFF) << 8) | 0x50));
        bool centre = i % 7 == 0;
        put_u32(entry, 4, centre ? 1 : 0);
        put_u16(entry, 8, static_cast<uint16_t>(centre ? (i / 7) % 21 : 0));
        put_u16(entry, 10, 1);
    }
    uint8_t *entry = message.data() + 16 + 12 * provinces;
    for (auto [a, b] : moves)
        for (auto [from, to] : {std::pair{a, b}, std::pair{b, a}}) {
            put_u16(entry, 0, static_cast<uint16_t>(from));
            put_u16(entry, 2, 1);
            put_u16(entry, 4, static_cast<uint16_t>(to));
            put_u16(entry, 6, 1);
            entry += 8;
        }
    return message;
}

void BM_MapBuild300Provinces(benchmark::State &state) {
    std::vector<uint8_t> message = grid_definition();
    for (auto _ : state) {
        Map *map = map_build(message.data());
        benchmark::DoNotOptimize(map);
        map_release(map);
    }
    state.counters["adjacencies"] = get_u32(message.data(), 12);
}
BENCHMARK(BM_MapBuild300Provinces)->Unit(benchmark::kMillisecond);

}  // namespace

