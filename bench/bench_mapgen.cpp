// The map generator's cost: the default map (which benchmarks and tests
// generate at set-up), the largest map, building the default Map, and
// drawing the default opening.
#include <benchmark/benchmark.h>

#include "tools/mapgen/mapgen.h"
#include "tools/mapgen/picture.h"
#include "world/map.h"

namespace {

void BM_MapgenDefault(benchmark::State &state) {
    for (auto _ : state) {
        GeneratedMap generated = mapgen_default();
        benchmark::DoNotOptimize(generated.map_message.data());
    }
}
BENCHMARK(BM_MapgenDefault)->Unit(benchmark::kMillisecond);

void BM_MapgenLargest(benchmark::State &state) {
    MapgenOptions options;
    options.provinces = MAX_PROVINCES;
    options.powers = MAX_POWERS;
    for (auto _ : state) {
        GeneratedMap generated = mapgen_generate(options);
        benchmark::DoNotOptimize(generated.map_message.data());
    }
}
BENCHMARK(BM_MapgenLargest)->Unit(benchmark::kMillisecond);

void BM_MapBuildDefault(benchmark::State &state) {
    GeneratedMap generated = mapgen_default();
    for (auto _ : state) {
        Map *map = map_build(generated.map_message.data());
        benchmark::DoNotOptimize(map);
        map_release(map);
    }
    state.counters["adjacencies"] = static_cast<double>((generated.map_message.size() - 16 - 12 * 75) / 8);
}
BENCHMARK(BM_MapBuildDefault)->Unit(benchmark::kMicrosecond);

void BM_PictureDefaultOpening(benchmark::State &state) {
    GeneratedMap generated = mapgen_default();
    std::string svg;
    for (auto _ : state) {
        draw_position(generated.layout, generated.map_message, generated.centres_message,
                      generated.position_message, &svg);
        benchmark::DoNotOptimize(svg.data());
    }
    state.counters["bytes"] = static_cast<double>(svg.size());
}
BENCHMARK(BM_PictureDefaultOpening)->Unit(benchmark::kMillisecond);

}  // namespace
