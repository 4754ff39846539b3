// The checks the fuzz targets run on what the library built from hostile
// bytes: the library's own invariant checks.  A failed check says what
// broke and stops the target with a trap, which the fuzzer reports as a
// crash.
#pragma once

#include <cstdint>
#include <cstdio>

#include "brox.h"
#include "world/check.h"

inline void fuzz_require(bool holds) {
    if (!holds) __builtin_trap();
}

// The Map's and the Position's invariants, as the library states them.
inline void fuzz_check_map(const Map *map) {
    const char *why = map_check(map);
    if (why) std::fprintf(stderr, "broken Map: %s\n", why);
    fuzz_require(!why);
}

inline void fuzz_check_position(const Position *position) {
    const char *why = position_check(position);
    if (why) std::fprintf(stderr, "broken Position: %s\n", why);
    fuzz_require(!why);
}
