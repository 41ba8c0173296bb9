// The fire scene in its steps, so that each can be checked on its own.
#pragma once

#include "screen/screen.h"

constexpr int FIRE_FRAMES = 160;
constexpr long FIRE_FRAME_US = 70000;
constexpr int FIRE_LEVELS = 15;  // heat 0 to 14; 14 is never reached

// The heat grid, indexed column first like `screen`.
using fire_grid = int[WIDTH][HEIGHT];

// The look of one heat level. Every fire cell is drawn bold.
struct fire_look {
    int fg;
    int bg;
    char data;
};

extern const fire_look FIRE_PALETTE[FIRE_LEVELS];

// Source row: every column of row 23 gets rand() % 11 + 3 (3 to 13).
void fire_feed(fire_grid &heat);
// Heat rows 2 to 23 of columns 2 to 77 onto screen rows 1 to 22, one row up.
void fire_draw(const fire_grid &heat, const fire_look (&palette)[FIRE_LEVELS]);
// Heat rises: rows 0 to 22, in place, top row first, from the rows below.
void fire_spread(fire_grid &heat);
