// The classic 7-power map and positions from real games on it, read from
// bench/data/classic/: what the benchmarks measure the library on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "brox.h"

// The four movement positions of the data folder.
extern const char *const CLASSIC_POSITIONS[4];  // "opening", "midgame-1", ...

struct ClassicBoard {
    Map *map = nullptr;
    CentreTable *centres = nullptr;  // one reference held
    std::vector<uint8_t> message;    // the position message

    // Reads the map and the named position (null map when a file is missing)
    // from the classic folder, or from `folder` (map.bin, NAME-centres.bin,
    // NAME-position.bin).
    explicit ClassicBoard(const std::string &name);
    ClassicBoard(const std::string &name, const std::string &folder);
    ClassicBoard(const ClassicBoard &) = delete;
    ClassicBoard &operator=(const ClassicBoard &) = delete;
    ~ClassicBoard();

    // Builds the Position from a copy of the message (the builder writes to it).
    Position *build() const;
};
