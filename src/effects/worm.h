// The worm: seven solid blocks, tapering from a big head to a small tail, that
// crawl along a path of one sine across and one sine down. Each instance owns
// one layer; the show runs two at once while the render thread composites.
#pragma once

#include "screen/screen.h"

// The instance's private depth grid: 0, or the depth value 10 - d of segment d
// (1 tail to 7 head) at that segment's cell. All 0 between frames.
using worm_plane_t = int[WIDTH][HEIGHT];

// Frame parameter the worm starts at, the value it runs below, and the pause
// after each frame.
constexpr float WORM_START = 1.0f;
constexpr double WORM_END = 7.0;
constexpr long WORM_FRAME_US = 60000;

// Next frame parameter: 0.05 added in double precision, kept in single.
float worm_next(float i);

// Where the tail is along the path in frame `i`: 20 * i truncated.
int worm_x0(float i);

// Marks the seven segments, at path steps x0 (tail) to x0 + 6 (head), in
// `plane` (columns 0 to 47, rows 0 to 17), tail first, so a later segment on
// the same cell wins. A segment whose position is not a finite number (a zero
// divisor) is left out.
void worm_path(worm_plane_t &plane, int x0, float my_wormx, float my_wormy);

// Clears the layer for a frame: the instance on layer 1 covers everything below
// with bold white on blue; any other is transparent but for its blocks.
void worm_clear(grid_t &scr, int my_id);

// Colour of a block of size w: w + my_wormx truncated, with 4 turned into 0
// (a blue block would vanish on the blue layer). Not reduced to 0..7.
int worm_colour(int w, float my_wormx);

// Draws every marked segment onto `scr`, deepest (tail) first so each block
// covers the one behind it, and leaves `plane` all 0.
void worm_draw(worm_plane_t &plane, grid_t &scr, float my_wormx);
