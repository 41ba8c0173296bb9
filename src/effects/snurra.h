// Spinning figures of lettered particles: the figures, where a particle is
// drawn at a step, and one frame, for tests and for the scene itself.
#pragma once

#include "screen/screen.h"

// A figure: 0 an empty cell, any other value a particle whose character code
// it is. Indexed column first like `screen`.
using snurra_points = int[WIDTH][HEIGHT];

// Steps run from 1 while they are at most SNURRA_LAST_STEP.
constexpr int SNURRA_LAST_STEP = 2999;
constexpr long SNURRA_FRAME_US = 5000;

// Growth of the step per frame in pass `count` (0, 1 or 2).
int snurra_plus(int count);

// Clears `points` and lays out the figure of pass `count`: a cross, an X, a
// scatter of 24 single particles; each with a "+" at the centre (40, 12).
void snurra_figure(snurra_points &points, int count);

// The column offset of the first pass's drift at step `k`.
int snurra_drift(int k);

// Screen cell of the particle at (x, y) of a figure at step `k`, before any
// drift: each particle runs round its own ellipse about (40, 12).
void snurra_place(int x, int y, int k, int &column, int &row);

// Draws every particle of `points` at step `k` on `screen` (with the drift in
// pass 0), scanning columns then rows, so a later particle wins a shared cell.
// Clears nothing and does not pause.
void snurra_frame(const snurra_points &points, int k, int count);
