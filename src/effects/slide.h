// The wipe, one frame at a time, so that a frame can be checked on its own.
#pragma once

constexpr int SLIDE_FRAMES = 24;  // frames i = 1 to 24
constexpr long SLIDE_FRAME_US = 50000;

// Colour of interior cell (x, y) in frame i (1 to 24) of `slide`: 6 or 4.
int slide_colour(int x, int y, int i);
// Draws frame i of `slide` over the interior of `screen` (columns 1 to 78, rows 1 to 22).
void slide_frame(int i);
