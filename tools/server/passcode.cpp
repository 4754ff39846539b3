// Passcodes of the powers: drawn from the operating system's random source,
// each on its own, so that no passcode tells anything about another.  A
// fixed seed (tests and fuzzing only) gives a repeatable sequence instead.
#include <sys/random.h>

#include <cerrno>
#include <cstdio>

#include "tools/server/passcode.h"

namespace {

bool system_random(uint16_t *value) {
    for (;;) {
        ssize_t got = getrandom(value, sizeof *value, 0);
        if (got == static_cast<ssize_t>(sizeof *value)) return true;
        if (got < 0 && errno != EINTR) break;
    }
    // Kernels without getrandom: the same source through its device.
    std::FILE *device = std::fopen("/dev/urandom", "rb");
    if (!device) return false;
    bool read = std::fread(value, sizeof *value, 1, device) == 1;
    std::fclose(device);
    return read;
}

}  // namespace

uint16_t passcode_from_seed(uint32_t seed, uint32_t draw) {
    // splitmix64 of the seed and the draw number.
    uint64_t x = (uint64_t{seed} << 32 | draw) + 0x9E3779B97F4A7C15u;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBu;
    x ^= x >> 31;
    uint16_t passcode = static_cast<uint16_t>(x >> 16);
    return passcode ? passcode : 1;
}

bool game_new_passcode(Game *game, uint16_t *passcode) {
    if (game->options.passcode_seed != 0) {
        *passcode = passcode_from_seed(game->options.passcode_seed, game->passcode_draws++);
        return true;
    }
    do {
        if (!system_random(passcode)) return false;
    } while (*passcode == 0);
    return true;
}
