// The three messages a game opens with (map definition, centre ownership,
// opening position), checked entry by entry before a game is built on
// them: they come from users' files and other programs.
#pragma once

#include <cstddef>
#include <cstdint>

#include "brox.h"

// Whether `size` bytes from `message` hold one whole message of `type`:
// a header whose type is `type` and whose length is `size`.  On failure
// `why` (of `why_size` bytes) says what is wrong.
bool opening_check_message(const uint8_t *message, size_t size, uint16_t type, char *why, size_t why_size);

// A centre-ownership message (whole, as above) for `map`: an entry count
// that fills its length, and every entry a supply centre of the Map owned
// by a power of the Map or listed unowned.
bool opening_check_centres(const Map *map, const uint8_t *message, char *why, size_t why_size);

// An opening position message (whole, as above) for `map`: a season of the
// five, at most MAX_UNITS units filling its length, and each unit a power,
// type, province and coast of the Map, one standing unit per province, an
// army only at an army location, dislodged only in a retreat season.
bool opening_check_position(const Map *map, const uint8_t *message, char *why, size_t why_size);
