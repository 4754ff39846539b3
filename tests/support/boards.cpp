// Boards shared by several test files.
#include "boards.h"

const board::Board &grid_board() {
    static const board::Board board(R"(
        powers 3
        land A*0 B*0 C*1 D E* F G*2 H I*
        army A-B B-C D-E E-F G-H H-I A-D D-G B-E E-H C-F F-I
        army A-E B-D B-F C-E D-H E-G E-I F-H
    )");
    return board;
}

const board::Board &iberia_board() {
    static const board::Board board(R"(
        powers 2
        coast GAS MAR SPA*/nc/sc POR
        sea   MAO WES
        fleet MAO-SPA/nc MAO-POR MAO-GAS GAS-SPA/nc WES-SPA/sc MAR-SPA/sc MAO-WES
        army  GAS-SPA MAR-SPA POR-SPA GAS-MAR
    )");
    return board;
}
