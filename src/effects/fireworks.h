// One firework: a rocket that climbs from row 22 for a random number of frames
// and bursts into a growing ellipse, inside which smaller tail rings open one
// after another. Each instance owns one layer; the show runs six at once while
// the render thread composites the layers.
#pragma once

#include "screen/screen.h"

// Pause after each frame.
constexpr long FIREWORKS_FRAME_US = 60000;
// Entries of the tail ring radii; entry 0 is never drawn.
constexpr int FIREWORKS_TAILS = 20;
// Marks the cell where the rocket burst in the instance's private grid.
constexpr int FIREWORKS_SPENT = 31337;

// The five colours from `col1` (1 to 6): col1 itself, then, counting
// cyclically through 1 to 6, the four after the one that directly follows it.
void fireworks_colours(int col1, int cols[5]);

// Clears the layer for a frame: layer 1 becomes opaque bold white-on-black
// spaces, any other layer wholly transparent.
void fireworks_clear(grid_t &scr, int my_id);

// Next value of the ring scan offset: 0.7 added in double precision, kept in
// single.
float fireworks_next_t(float t);

// Draws one burst frame round (origx, origy): the main ring of radius `size`
// in cols[0] and tail rings 1 to `tailcount` in the one colour
// cols[tailcount]. Cells off the layer are skipped.
void fireworks_burst(grid_t &scr, int origx, int origy, float size,
                     const float tails[FIREWORKS_TAILS], int tailcount, const int cols[5]);

// Grows the rings after a burst frame: starts tail ring 1 or, once the newest
// ring reaches 4.0, the next one; widens every tail ring by 0.288 and the main
// ring by 0.3.
void fireworks_grow(float &size, float tails[FIREWORKS_TAILS], int &tailcount);
