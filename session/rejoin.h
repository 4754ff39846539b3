// The rejoin file "broxgame.log" in the current directory: the power and
// passcode of the last assignment, so that a restarted bot asks to rejoin
// as the same power.  Exactly 4 bytes: power, then passcode, each 16-bit,
// low byte first.
//
// The folder may hold something planted by another program under that
// name.  Only a regular file of exactly 4 bytes is a rejoin file: a
// symbolic link (dangling or not), a FIFO, a directory, a device, a socket
// or a file of another size is never read through, never written through
// and never waited on.  Each such finding is reported with one line on
// standard error, beginning "[Brox Library]"; nothing else is printed.
#pragma once

#include <cstdint>

constexpr const char *REJOIN_FILE_NAME = "broxgame.log";

// Writes both values to a new file in the current directory and renames it
// over the name, so that the name holds the old file or the new one, never
// half of one (a crash in between leaves a stray "broxgame.log.XXXXXX").
// The new file is readable by its owner only.  Whatever other than a
// regular file stands at the name is replaced, and a symbolic link's target
// is left untouched (reported); a directory there is left alone and no
// file is written (reported: the bot cannot rejoin after a restart).  A
// folder where no file can be created is left as it is, silently: a rejoin
// is a convenience.
void rejoin_file_write(uint16_t power, uint16_t passcode);

// Reads both values.  Returns 1 when the name holds a regular file of
// exactly 4 bytes; 0 otherwise, leaving both values as they were: no file
// (silently: a first start), or anything else at the name (reported, and
// treated as no file).  Follows no link and never blocks.
int rejoin_file_read(uint16_t *power, uint16_t *passcode);

// Removes the name: the file, or a link, FIFO or device standing there
// (never a link's target); a missing file and a directory are left alone.
void rejoin_file_delete();
