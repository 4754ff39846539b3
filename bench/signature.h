// The behaviour signature: a hash of ten years played from each stored
// board of bench/data/signature/ with orders drawn by a fixed sequence.
// Only a change of behaviour (candidates, adjudication, positions) can
// alter it; speed work must leave it as it is.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "brox.h"

// The boards, by folder name under the data folder.
extern const char *const SIGNATURE_BOARDS[3];  // "default", "convoys-14", "large-20"

// Sets every unit that has candidates to one drawn from a fixed sequence,
// which *state carries on from one call to the next.
void bench_draw_orders(Position *position, uint32_t *state);

// The bytes of the file at `path`; empty when it cannot be read.
std::vector<uint8_t> bench_read_file(const std::string &path);

// The hash of ten years played from the board in `folder` (map.bin,
// centres.bin, position.bin); 0 when a file is missing or a phase does not
// build.
uint64_t signature_of_board(const std::string &folder);

// The signature of every board under `data_folder`, folded into one value;
// each board's own hash goes to *parts when it is not null.
uint64_t behaviour_signature(const std::string &data_folder,
                             std::vector<std::pair<std::string, uint64_t>> *parts = nullptr);
