// Boards shared by several test files.
#pragma once

#include "board.h"

// A 3 x 3 block of land where every province touches its eight neighbours:
//   A B C      A, B: home centres of power 0; C of power 1; G of power 2;
//   D E F      E, I: neutral centres.  Three powers.
//   G H I
const board::Board &grid_board();

// Coasts and seas around a province with two coasts; SPA is a neutral
// centre, two powers:
//   coast GAS MAR SPA (nc, sc) POR      sea MAO WES
const board::Board &iberia_board();
