// The benchmark program.  Before its timings it prints a signature: a hash
// of ten years of the default map played with orders drawn from the
// candidates by a fixed sequence.  Only a change of behaviour (candidates,
// adjudication, positions) can alter it; speed work must leave it as is.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include "classic.h"
#include "fixtures.h"
#include "world/position.h"

namespace {

struct Hash {
    uint64_t value = 1469598103934665603ull;
    void add(uint64_t word) {
        for (int b = 0; b < 8; b++) {
            value ^= (word >> (8 * b)) & 0xFF;
            value *= 1099511628211ull;
        }
    }
};

void add_position(Hash &hash, const Position *position) {
    hash.add(position->season);
    hash.add(position->year);
    hash.add(position->unit_count);
    for (uint16_t u = 0; u < position->unit_count; u++) {
        const Unit *unit = position->units[u];
        hash.add(unit->power);
        hash.add(unit->unit_type);
        hash.add(unit->dislodged);
        hash.add(unit->candidates.count);
        if (unit->location) hash.add(position_location_index(position, unit->location));
    }
}

uint64_t signature() {
    Hash hash;
    BenchBoard board = BenchBoard::opening();
    Position *position = board.build();
    uint32_t state = 7;
    while (position && position->year < 1911) {
        add_position(hash, position);
        bench_draw_orders(position, &state);
        Position *next = brox_adjudicate(position);
        brox_position_free(position);
        position = next;
    }
    if (position) brox_position_free(position);
    return hash.value;
}

}  // namespace

int main(int argc, char **argv) {
    std::printf("signature: %016llx\n", static_cast<unsigned long long>(signature()));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
