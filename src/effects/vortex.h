// The vortex: concentric rings of red and black round column 40, row 12.
#pragma once

// Ring multipliers of the two phases: the slow draw in and out, and the rush.
constexpr int VORTEX_SLOW = 30;
constexpr int VORTEX_RUSH = 600;
// Highest ring parameter of the first phase, and the rush's number of frames.
constexpr int VORTEX_TURN = 35;
constexpr int VORTEX_RUSH_FRAMES = 10;
constexpr long VORTEX_FRAME_US = 100000;
constexpr long VORTEX_CARD_HOLD_US = 800000;

// Colour of cell (x, y) for ring parameter `i` and multiplier `m`:
// the integer part of (float) sin(sqrt(d)) + 1, modulo 2, where
// d = (x - 40)^2 + (y - 12)^2 + m * i. 1 (red) or 0 (black).
int vortex_colour(int x, int y, int i, int m);

// Draws one ring frame over every cell of `screen`, border included, row by
// row: '#' in bold, foreground and background both the cell's colour.
void vortex_frame(int i, int m);
