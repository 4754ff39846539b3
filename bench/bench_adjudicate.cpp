// Adjudicating the 34-unit midgame spring into its next Position and
// freeing it: the cost of one agenda trial.
#include <benchmark/benchmark.h>

#include "fixtures.h"

namespace {

void BM_AdjudicateMidgame(benchmark::State &state) {
    BenchBoard board = BenchBoard::midgame();
    Position *position = board.build();
    int convoys = choose_bench_orders(position);
    uint16_t next_units = 0;
    for (auto _ : state) {
        Position *next = brox_adjudicate(position);
        next_units = next->unit_count;
        brox_position_free(next);
    }
    state.counters["convoys"] = convoys;
    state.counters["next_units"] = next_units;
    brox_position_free(position);
}
BENCHMARK(BM_AdjudicateMidgame)->Unit(benchmark::kMicrosecond);

}  // namespace
