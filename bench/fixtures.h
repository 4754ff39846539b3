// Positions on the default map for the benchmarks: the opening (22 units)
// and a spring midgame (34 units, convoys possible), with orders drawn the
// same way on every run.
#pragma once

#include <cstdint>
#include <vector>

#include "brox.h"

struct BenchBoard {
    Map *map = nullptr;
    CentreTable *centres = nullptr;  // one reference held
    std::vector<uint8_t> message;    // the position message

    static BenchBoard opening();
    static BenchBoard midgame();
    BenchBoard() = default;
    BenchBoard(BenchBoard &&other) noexcept;
    BenchBoard &operator=(BenchBoard &&) = delete;
    ~BenchBoard();

    // Builds the Position from a copy of the message (the builder writes to it).
    Position *build() const;
};

// Candidate Orders of all Units together.
long candidate_total(const Position *position);

// Chooses for every unit a candidate from a fixed sequence of draws,
// preferring moves and supports, and sets up one convoy when the Position
// offers one.  Returns the number of convoyed moves set.
int choose_bench_orders(Position *position);
