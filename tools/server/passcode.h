// Passcodes of the powers: what a rejoin must present to play a power
// again.
#pragma once

#include <cstdint>

#include "tools/server/game_state.h"

// A fresh non-zero passcode in *passcode: from the system's random source,
// each draw on its own, or from options.passcode_seed when it is set.
// False when the random source fails.
bool game_new_passcode(Game *game, uint16_t *passcode);
// The passcode that draw number `draw` gives with a fixed seed.
uint16_t passcode_from_seed(uint32_t seed, uint32_t draw);
