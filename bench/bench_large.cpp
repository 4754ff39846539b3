// The largest maps: twenty mid-game springs on a map of 300 provinces and
// 20 powers (bench/data/large/, 86 to 100 units each), one trial each
// (brox_adjudicate and brox_position_free) with orders drawn as for the
// default map's midgame.  The figure that matters is the slowest board.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "classic.h"
#include "fixtures.h"

namespace {

void BM_LargeTrial(benchmark::State &state) {
    char name[8];
    std::snprintf(name, sizeof name, "%02d", static_cast<int>(state.range(0)));
    ClassicBoard board(name, BROX_LARGE_DIR);
    Position *position = board.build();
    if (!position) {
        state.SkipWithError("large board missing");
        return;
    }
    choose_bench_orders(position);
    for (int warm = 0; warm < 20; warm++) brox_position_free(brox_adjudicate(position));
    for (auto _ : state) {
        Position *next = brox_adjudicate(position);
        benchmark::DoNotOptimize(next);
        brox_position_free(next);
    }
    state.counters["units"] = position->unit_count;
    state.counters["candidates"] = static_cast<double>(candidate_total(position));
    brox_position_free(position);
}
BENCHMARK(BM_LargeTrial)->DenseRange(1, 20)->Unit(benchmark::kMicrosecond);

}  // namespace
