// Whole random games on the default map: ten years, every order drawn from
// the candidates, played through the referee (orders checked, defaults,
// retreats offered, removals, the messages of every phase, the end) beside
// the bare adjudication loop that the signature plays (brox_adjudicate
// alone, on one Map built beforehand).  Reports games and phases per
// second.
#include <benchmark/benchmark.h>

#include "fixtures.h"
#include "signature.h"
#include "tools/mapgen/mapgen.h"

namespace {

constexpr uint16_t YEARS = 10;

// The candidate at a drawn place in the unit's set; null for an empty set.
Order *draw_candidate(Unit *unit, uint32_t *state) {
    if (!unit->candidates.count) return nullptr;
    *state = *state * 1103515245u + 12345u;
    uint32_t skip = (*state >> 16) % unit->candidates.count;
    Order *order = brox_candidate_first(unit);
    while (skip--) order = brox_candidate_next(unit, order);
    return order;
}

// Orders for every unit; a build slot draws from its power's first slot,
// whose candidates are the power's builds.
void draw_referee_orders(BroxReferee *referee, uint32_t *state) {
    Position *position = brox_referee_position(referee);
    Unit *first_slot[MAX_POWERS] = {};
    for (uint16_t u = 0; u < position->unit_count; u++) {
        Unit *unit = position->units[u];
        Unit *holder = unit;
        if (!unit->location) {
            if (!first_slot[unit->power]) first_slot[unit->power] = unit;
            holder = first_slot[unit->power];
        }
        if (Order *order = draw_candidate(holder, state)) brox_referee_order(referee, u, order, nullptr);
    }
}

// One referee, each game started again from the opening (the Map is built
// once, as for the floor below).
void BM_RefereeGameTenYears(benchmark::State &state) {
    static const GeneratedMap map = mapgen_default();
    BroxReferee *referee =
        brox_referee_new(map.map_message.data(), map.map_message.size(), map.centres_message.data(),
                         map.centres_message.size(), map.position_message.data(), map.position_message.size(), nullptr);
    brox_referee_set_years(referee, YEARS);
    uint32_t draws = 7;
    long phases = 0;
    for (auto _ : state) {
        brox_referee_restart(referee);
        while (!brox_referee_over(referee)) {
            draw_referee_orders(referee, &draws);
            if (!brox_referee_step(referee)) break;
            phases++;
        }
    }
    brox_referee_free(referee);
    state.counters["games/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["phases/s"] = benchmark::Counter(static_cast<double>(phases), benchmark::Counter::kIsRate);
    state.counters["phases"] = benchmark::Counter(static_cast<double>(phases), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_RefereeGameTenYears)->Unit(benchmark::kMillisecond);

// The floor: the same games with brox_adjudicate alone (no checks, no
// retreats offered, no defaults beyond holds), on a Map built once.
void BM_AdjudicateGameTenYears(benchmark::State &state) {
    BenchBoard board = BenchBoard::opening();
    uint32_t draws = 7;
    long phases = 0;
    for (auto _ : state) {
        Position *position = board.build();
        uint16_t last_year = static_cast<uint16_t>(position->year + YEARS);
        while (position && !(position->season == SEASON_SPRING && position->year >= last_year)) {
            bench_draw_orders(position, &draws);
            Position *next = brox_adjudicate(position);
            brox_position_free(position);
            position = next;
            phases++;
        }
        if (position) brox_position_free(position);
    }
    state.counters["games/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["phases/s"] = benchmark::Counter(static_cast<double>(phases), benchmark::Counter::kIsRate);
    state.counters["phases"] = benchmark::Counter(static_cast<double>(phases), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_AdjudicateGameTenYears)->Unit(benchmark::kMillisecond);

// Opening a game from its three messages: what a fresh referee per game
// adds (building the Map and its distance tables).
void BM_RefereeOpen(benchmark::State &state) {
    static const GeneratedMap map = mapgen_default();
    for (auto _ : state) {
        BroxReferee *referee =
            brox_referee_new(map.map_message.data(), map.map_message.size(), map.centres_message.data(),
                             map.centres_message.size(), map.position_message.data(), map.position_message.size(),
                             nullptr);
        brox_referee_free(referee);
    }
}
BENCHMARK(BM_RefereeOpen)->Unit(benchmark::kMicrosecond);

}  // namespace
