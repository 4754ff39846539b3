// The library on the classic 7-power map and positions from real games:
// adjudicating each movement position into the next one and freeing it
// (the cost of one agenda trial), with every unit on hold and with orders
// drawn from the candidates; the agenda on the mid-game springs; and, as a
// floor measured in the same run, clearing a block the size of a Position
// and one pass over as many Orders as the heaviest mid-game has candidates.
// Each trial benchmark also reports the page faults per trial and how much
// the resident set grew while it ran (both 0 in a steady state).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstring>
#include <memory>
#include <vector>

#include "classic.h"
#include "common/assignment_message.h"
#include "signature.h"

namespace {

struct Usage {
    long faults;
    long max_resident_kb;
};

Usage usage_now() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return {usage.ru_minflt + usage.ru_majflt, usage.ru_maxrss};
}

long candidate_total(const Position *position) {
    long total = 0;
    for (uint16_t u = 0; u < position->unit_count; u++) total += position->units[u]->candidates.count;
    return total;
}

void BM_ClassicFloor(benchmark::State &state) {
    std::unique_ptr<unsigned char[]> block(new unsigned char[sizeof(Position)]);
    for (auto _ : state) {
        std::memset(block.get(), 0, sizeof(Position));
        benchmark::DoNotOptimize(block.get());
        benchmark::ClobberMemory();
    }
    state.counters["bytes"] = static_cast<double>(sizeof(Position));
}
BENCHMARK(BM_ClassicFloor)->Unit(benchmark::kMicrosecond);

// The other floor: one pass over as many Orders as the heaviest mid-game
// has candidates, writing what a candidate and its tree link must hold.
void BM_ClassicFloorCandidates(benchmark::State &state) {
    ClassicBoard board("midgame-1");
    Position *position = board.build();
    if (!position) {
        state.SkipWithError("classic data missing");
        return;
    }
    std::vector<Order> orders(static_cast<size_t>(candidate_total(position)));
    Unit *unit = position->units[0];
    LocationState *target = &position->locations[0];
    for (auto _ : state) {
        for (Order &order : orders) {
            order.token = ORD_MOVE;
            order.target = target;
            order.other_unit = unit;
            order.route_length = 0;
            order.node.left = order.node.right = order.node.parent = nullptr;
            order.node.height = 1;
        }
        benchmark::DoNotOptimize(orders.data());
        benchmark::ClobberMemory();
    }
    state.counters["candidates"] = static_cast<double>(orders.size());
    brox_position_free(position);
}
BENCHMARK(BM_ClassicFloorCandidates)->Unit(benchmark::kMicrosecond);

// One trial: brox_adjudicate and brox_position_free.
void BM_ClassicAdjudicate(benchmark::State &state, const char *name, bool drawn) {
    ClassicBoard board(name);
    Position *position = board.build();
    if (!position) {
        state.SkipWithError("classic data missing");
        return;
    }
    uint32_t draws = 2024;
    if (drawn) bench_draw_orders(position, &draws);
    Position *sample = brox_adjudicate(position);
    long next_candidates = sample ? candidate_total(sample) : 0;
    if (sample) brox_position_free(sample);
    for (int warm = 0; warm < 100; warm++) brox_position_free(brox_adjudicate(position));
    Usage before = usage_now();
    for (auto _ : state) {
        Position *next = brox_adjudicate(position);
        benchmark::DoNotOptimize(next);
        brox_position_free(next);
    }
    Usage after = usage_now();
    auto trials = static_cast<double>(state.iterations());
    state.counters["candidates"] = static_cast<double>(candidate_total(position));
    state.counters["next_candidates"] = static_cast<double>(next_candidates);
    state.counters["faults/trial"] = static_cast<double>(after.faults - before.faults) / trials;
    state.counters["rss_growth_kb"] = static_cast<double>(after.max_resident_kb - before.max_resident_kb);
    brox_position_free(position);
}
BENCHMARK_CAPTURE(BM_ClassicAdjudicate, opening_hold, "opening", false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ClassicAdjudicate, opening_drawn, "opening", true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ClassicAdjudicate, midgame_1_hold, "midgame-1", false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ClassicAdjudicate, midgame_1_drawn, "midgame-1", true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ClassicAdjudicate, midgame_2_hold, "midgame-2", false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ClassicAdjudicate, midgame_2_drawn, "midgame-2", true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ClassicAdjudicate, midgame_3_hold, "midgame-3", false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ClassicAdjudicate, midgame_3_drawn, "midgame-3", true)->Unit(benchmark::kMicrosecond);

// A scoring function that only reads counts: the search's own cost.
uint32_t score_counts(Position *position, void *user_data) {
    ++*static_cast<long *>(user_data);
    uint32_t score = position->unit_count;
    for (uint16_t u = 0; u < position->unit_count; u++)
        score += position->units[u]->power == 0 && position->units[u]->location;
    return score;
}

// Twenty steps of an agenda for power 0, from a new agenda each time.
void BM_ClassicAgenda(benchmark::State &state, const char *name) {
    ClassicBoard board(name);
    Position *position = board.build();
    if (!position) {
        state.SkipWithError("classic data missing");
        return;
    }
    Session session{};
    assignment_write(session.assignment, {0x0041, 0});  // power 0
    long successors = 0;
    Usage before = usage_now();
    for (auto _ : state) {
        Agenda *agenda = brox_agenda_new(position, score_counts, &successors);
        for (int step = 0; step < 20; step++) {
            auto *best = static_cast<AgendaItem *>(LUM_AVL_ITEM(&agenda->by_score, agenda->by_score.last));
            if (!brox_agenda_step(&session, agenda)) break;
            brox_agenda_item_free(best, 1);
        }
        brox_agenda_free(agenda);
    }
    Usage after = usage_now();
    state.counters["successors/s"] = benchmark::Counter(static_cast<double>(successors), benchmark::Counter::kIsRate);
    state.counters["successors"] =
        benchmark::Counter(static_cast<double>(successors), benchmark::Counter::kAvgIterations);
    state.counters["faults/successor"] = static_cast<double>(after.faults - before.faults) / static_cast<double>(successors);
    brox_position_free(position);
}
BENCHMARK_CAPTURE(BM_ClassicAgenda, midgame_1, "midgame-1")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ClassicAgenda, midgame_2, "midgame-2")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ClassicAgenda, midgame_3, "midgame-3")->Unit(benchmark::kMillisecond);

}  // namespace
