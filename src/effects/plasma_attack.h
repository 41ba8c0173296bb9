// The closing plasma: one frame's colours, for tests and for the scene itself.
#pragma once

// Number of frames and the pause after each.
constexpr int PLASMA_FRAMES = 150;
constexpr long PLASMA_FRAME_US = 50000;

// The phase of frame `frame` (0 for the first): 1.8 added once per frame, the
// sum rounded back to single precision each time.
float plasma_phase(int frame);

// Colour (0 to 5) of cell (x, y) in frame `frame` with phase `k`.
int plasma_colour(int frame, float k, int x, int y);

// Draws one whole frame on `screen`, border included: every cell a bold "#"
// in a solid block of its colour, row by row.
void plasma_frame(int frame, float k);
