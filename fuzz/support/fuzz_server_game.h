// What the server target's games share with the program that writes its
// corpus: the seed of their passcodes, so that a corpus input can rejoin
// with the passcode a bot was given.
#pragma once

#include <cstdint>

constexpr uint32_t FUZZ_PASSCODE_SEED = 12345;
