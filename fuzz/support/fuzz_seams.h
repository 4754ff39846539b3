// Link seams of the fuzz targets: a client library that takes every record
// (or refuses a chosen share of them) and keeps none, and a notice that
// shows nothing, so a target never blocks or writes to a terminal.
#pragma once

#include <cstdint>
#include <vector>

namespace fuzz_seams {

// Makes every `period`-th send from now fail (1: every send); 0 makes
// every send succeed.  Also restarts the count of sends.
void fail_sends_every(uint32_t period);

// Sends attempted since the last fail_sends_every.
uint32_t sends();

// Keeps a copy of every record sent from now on in *records (null: keeps
// none).  The corpus program uses it to record what a bot would send.
void capture_sends(std::vector<std::vector<uint8_t>> *records);

}  // namespace fuzz_seams
