// brox_rand: a whole number in a closed range from a linear congruential
// generator with one 32-bit state per thread, starting at 1.  The draw
// sequence and the acceptance bound are fixed: bots rely on reproducible
// numbers, so the slightly uneven remainder is kept as it is.
#include "brox.h"

namespace {

thread_local uint32_t generator_state = 1;

// One draw: 15 bits, 0 to 32767.
int draw() {
    generator_state = generator_state * 214013u + 2531011u;
    return static_cast<int>((generator_state >> 16) & 0x7FFF);
}

}  // namespace

// For lo > hi the two bounds are swapped.  A span wider than 32767 can never
// pass the acceptance test, so it is served by two draws combined into 30
// bits instead of looping for ever.
extern "C" BROX_API uint16_t brox_rand(uint16_t lo, uint16_t hi) {
    if (lo > hi) {
        uint16_t swap = lo;
        lo = hi;
        hi = swap;
    }
    int span = hi - lo;
    if (span > 0x7FFF) {
        long wide = (static_cast<long>(draw()) << 15) | draw();
        return static_cast<uint16_t>(lo + wide % (span + 1));
    }
    int r = draw();
    while (span + r > 0x7FFF || span + r < 0) r = draw();
    return static_cast<uint16_t>(lo + r % (span + 1));
}
