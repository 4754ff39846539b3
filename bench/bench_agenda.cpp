// The agenda on the 34-unit midgame spring: 50 steps with a cheap scoring
// function.  Reports successors (scored trials) per second.
#include <benchmark/benchmark.h>

#include "common/assignment_message.h"
#include "fixtures.h"

namespace {

struct Count {
    long calls = 0;
};

// Units of power 0 standing in supply centres: cheap, and varied enough.
uint32_t score_centres(Position *position, void *user) {
    static_cast<Count *>(user)->calls++;
    uint32_t score = 0;
    for (uint16_t u = 0; u < position->unit_count; u++) {
        const Unit *unit = position->units[u];
        if (unit->location && unit->power == 0 && unit->location->province->province->centre_kind)
            score++;
    }
    return score;
}

void BM_Agenda50Steps(benchmark::State &state) {
    BenchBoard board = BenchBoard::midgame();
    Position *position = board.build();
    Session session{};
    assignment_write(session.assignment, {0x0041, 0});  // power 0
    Count count;
    for (auto _ : state) {
        Agenda *agenda = brox_agenda_new(position, score_centres, &count);
        for (int step = 0; step < 50; step++) {
            AgendaItem *best = static_cast<AgendaItem *>(LUM_AVL_ITEM(&agenda->by_score, agenda->by_score.last));
            if (!brox_agenda_step(&session, agenda)) break;
            brox_agenda_item_free(best, 1);
        }
        brox_agenda_free(agenda);
    }
    state.counters["successors/s"] = benchmark::Counter(static_cast<double>(count.calls), benchmark::Counter::kIsRate);
    state.counters["successors"] = benchmark::Counter(static_cast<double>(count.calls), benchmark::Counter::kAvgIterations);
    brox_position_free(position);
}
BENCHMARK(BM_Agenda50Steps)->Unit(benchmark::kMillisecond);

}  // namespace
