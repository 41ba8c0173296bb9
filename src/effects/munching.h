// The munching squares' marking rule, open to tests.
#pragma once

#include "screen/screen.h"

// Frame `count` of the munching squares: marks, for each column x from 1 to
// 79, the row ((x div 2) XOR count) mod 24. Earlier marks stay; a mark in
// row 0 is kept but never drawn.
void munching_mark(int points[WIDTH][HEIGHT], int count);
