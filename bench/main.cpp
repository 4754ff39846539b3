// The benchmark program.  Before its timings it prints the behaviour
// signature (bench/signature.h): a hash of ten years played from each
// stored board with orders drawn from the candidates by a fixed sequence,
// and each board's own hash.  Only a change of behaviour can alter it;
// speed work must leave it as is.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include "signature.h"

int main(int argc, char **argv) {
    std::vector<std::pair<std::string, uint64_t>> parts;
    uint64_t signature = behaviour_signature(BROX_SIGNATURE_DIR, &parts);
    std::printf("signature: %016llx\n", static_cast<unsigned long long>(signature));
    for (const auto &[board, value] : parts)
        std::printf("  %-12s %016llx\n", board.c_str(), static_cast<unsigned long long>(value));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
