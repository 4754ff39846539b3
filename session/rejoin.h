// The rejoin file "broxgame.log" in the current directory: the power and
// passcode of the last assignment, so that a restarted bot asks to rejoin
// as the same power.  Exactly 4 bytes: power, then passcode, each 16-bit,
// low byte first.
#pragma once

#include <cstdint>

constexpr const char *REJOIN_FILE_NAME = "broxgame.log";

// Creates or truncates the file and writes both values.  A file that
// cannot be written is silently left as it is: a rejoin is a convenience.
void rejoin_file_write(uint16_t power, uint16_t passcode);

// Reads both values.  Returns 1 when the file exists and holds both, 0
// otherwise (no file, or one shorter than 4 bytes: a fresh join).
int rejoin_file_read(uint16_t *power, uint16_t *passcode);

// Removes the file; a missing file is not an error.
void rejoin_file_delete();
