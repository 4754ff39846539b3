// Building and freeing Positions on the default map: the hottest path of
// the library, since every agenda trial builds and frees one.
#include <benchmark/benchmark.h>

#include "fixtures.h"

namespace {

void build_and_free(benchmark::State &state, const BenchBoard &board) {
    long candidates = 0;
    for (auto _ : state) {
        Position *position = board.build();
        candidates = candidate_total(position);
        brox_position_free(position);
    }
    state.counters["candidates"] = static_cast<double>(candidates);
}

void BM_PositionOpening(benchmark::State &state) { build_and_free(state, BenchBoard::opening()); }
BENCHMARK(BM_PositionOpening)->Unit(benchmark::kMicrosecond);

void BM_PositionMidgame(benchmark::State &state) { build_and_free(state, BenchBoard::midgame()); }
BENCHMARK(BM_PositionMidgame)->Unit(benchmark::kMicrosecond);

}  // namespace
