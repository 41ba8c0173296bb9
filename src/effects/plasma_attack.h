// The closing plasma: one frame's colours, for tests and for the scene itself.
#pragma once

// Number of frames and the pause after each.
constexpr int PLASMA_FRAMES = 150;
constexpr long PLASMA_FRAME_US = 50000;

// Colour (0 to 5) of cell (x, y) in frame `frame` with phase `k`. The scene's
// phase starts at 0 and grows by 1.8 a frame, rounded back to single
// precision each time.
int plasma_colour(int frame, float k, int x, int y);

// Draws one whole frame on `screen`, border included: every cell a bold "#"
// in a solid block of its colour, row by row.
void plasma_frame(int frame, float k);
