// Whole random games on the default map: ten years, every order drawn
// uniformly from the candidates, played through the referee (orders
// checked, defaults, retreats offered, removals, the messages of every
// phase, the end) beside the bare adjudication loop that the signature
// plays (brox_adjudicate alone, on one Map built beforehand) and the floor
// of a game (clearing a Position-sized block once per phase).  Reports
// games and phases per second.  One game of each loop is a function of its
// own, so that callgrind can count a game's instructions
// (--toggle-collect='*play_*_game*').
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

#include "fixtures.h"
#include "signature.h"
#include "tools/mapgen/mapgen.h"

namespace {

constexpr uint16_t YEARS = 10;

// The phases of a ten-year game with no retreats and no winter skipped:
// the games played here average 29 to 30.
constexpr int FLOOR_PHASES = 3 * YEARS;

// The candidate at a drawn place in the unit's set; null for an empty set.
// The set is walked as the bare loop walks it, without brox_candidate_next's
// check that the order is the unit's, so that both loops draw alike.
Order *draw_candidate(Unit *unit, uint32_t *state) {
    if (!unit->candidates.count) return nullptr;
    *state = *state * 1103515245u + 12345u;
    uint32_t skip = (*state >> 16) % unit->candidates.count;
    auto *order = static_cast<Order *>(LUM_AVL_ITEM(&unit->candidates, unit->candidates.first));
    while (skip--) order = static_cast<Order *>(lum_avl_next(&unit->candidates, &order->node));
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

// One game through the referee from its opening; the phases it played.
__attribute__((noinline)) long play_referee_game(BroxReferee *referee, uint32_t *draws) {
    long phases = 0;
    brox_referee_restart(referee);
    while (!brox_referee_over(referee)) {
        draw_referee_orders(referee, draws);
        if (!brox_referee_step(referee)) break;
        phases++;
    }
    return phases;
}

// One game of brox_adjudicate alone from the opening; the phases it played.
__attribute__((noinline)) long play_bare_game(const BenchBoard &board, uint32_t *draws) {
    long phases = 0;
    Position *position = board.build();
    uint16_t last_year = static_cast<uint16_t>(position->year + YEARS);
    while (position && !(position->season == SEASON_SPRING && position->year >= last_year)) {
        bench_draw_orders(position, draws);
        Position *next = brox_adjudicate(position);
        brox_position_free(position);
        position = next;
        phases++;
    }
    if (position) brox_position_free(position);
    return phases;
}

void count_games(benchmark::State &state, long phases) {
    state.counters["games/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["phases/s"] = benchmark::Counter(static_cast<double>(phases), benchmark::Counter::kIsRate);
    state.counters["phases"] = benchmark::Counter(static_cast<double>(phases), benchmark::Counter::kAvgIterations);
}

// One referee, each game started again from the opening (the Map is built
// once, as for the bare loop below).
void BM_RefereeGameTenYears(benchmark::State &state) {
    static const GeneratedMap map = mapgen_default();
    BroxReferee *referee =
        brox_referee_new(map.map_message.data(), map.map_message.size(), map.centres_message.data(),
                         map.centres_message.size(), map.position_message.data(), map.position_message.size(), nullptr);
    brox_referee_set_years(referee, YEARS);
    uint32_t draws = 7;
    long phases = 0;
    for (auto _ : state) phases += play_referee_game(referee, &draws);
    brox_referee_free(referee);
    count_games(state, phases);
}
BENCHMARK(BM_RefereeGameTenYears)->Unit(benchmark::kMillisecond);

// The same games with brox_adjudicate alone (no checks, no retreats
// offered, no defaults beyond holds), on a Map built once.
void BM_AdjudicateGameTenYears(benchmark::State &state) {
    BenchBoard board = BenchBoard::opening();
    uint32_t draws = 7;
    long phases = 0;
    for (auto _ : state) phases += play_bare_game(board, &draws);
    count_games(state, phases);
}
BENCHMARK(BM_AdjudicateGameTenYears)->Unit(benchmark::kMillisecond);

// The floor of a game: a block the size of a Position cleared once for
// each of its phases.
void BM_FloorGameTenYears(benchmark::State &state) {
    std::unique_ptr<unsigned char[]> block(new unsigned char[sizeof(Position)]);
    for (auto _ : state) {
        for (int phase = 0; phase < FLOOR_PHASES; phase++) {
            std::memset(block.get(), 0, sizeof(Position));
            benchmark::DoNotOptimize(block.get());
            benchmark::ClobberMemory();
        }
    }
    count_games(state, static_cast<long>(state.iterations()) * FLOOR_PHASES);
    state.counters["bytes"] = static_cast<double>(sizeof(Position));
}
BENCHMARK(BM_FloorGameTenYears)->Unit(benchmark::kMillisecond);

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
