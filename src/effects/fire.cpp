// Flames rising from the bottom of the screen.
//
// A private grid of heat values (0 to 13) is fed with random heat along its
// bottom row every frame; every other row takes a quarter of the sum of the
// three cells below it and the cell two below, so the heat rises and fades.
// Each heat level is drawn as one cell look from a fixed palette, the picture
// moved up one row so that the freshly fed row shows on screen row 22.
#include "effects/fire.h"

#include <cstdlib>
#include <ctime>

#include "effects/effects.h"
#include "screen/pause.h"

// Low heat is yellow marks on black, middle heat yellow or red on red, high
// heat white.
const fire_look FIRE_PALETTE[FIRE_LEVELS] = {
    {3, 0, ' '}, {3, 0, '\''}, {3, 0, '\''}, {3, 0, '`'}, {3, 0, '\''},
    {3, 1, '#'}, {3, 1, '\''}, {1, 1, '#'},  {3, 1, '#'}, {3, 7, '\''},
    {1, 7, ' '}, {0, 7, '\''}, {0, 7, ' '},  {1, 7, ' '}, {1, 7, ' '},
};

void fire_feed(fire_grid &heat) {
    for (int x = 0; x < WIDTH; x++)
        heat[x][HEIGHT - 1] = rand() % 11 + 3;
}

void fire_draw(const fire_grid &heat, const fire_look (&palette)[FIRE_LEVELS]) {
    for (int x = 2; x <= WIDTH - 3; x++)
        for (int y = 2; y < HEIGHT; y++) {
            const fire_look &look = palette[heat[x][y]];
            draw(x, y - 1, 1, look.fg, look.bg, look.data);
        }
}

void fire_spread(fire_grid &heat) {
    // In place: a row reads only rows below it, not yet changed in this pass,
    // except row 22, whose term two below wraps to row 0, already recomputed.
    // With sums of at most 52, s * 64 / 255 is s / 4 rounded down.
    for (int y = 0; y < HEIGHT - 1; y++)
        for (int x = 0; x < WIDTH; x++) {
            int s = heat[(x + WIDTH - 1) % WIDTH][y + 1] + heat[x][y + 1] +
                    heat[(x + 1) % WIDTH][y + 1] + heat[x][(y + 2) % HEIGHT];
            heat[x][y] = s * 64 / 255;
        }
}

void fire() {
    fire_look palette[FIRE_LEVELS];
    for (int h = 0; h < FIRE_LEVELS; h++)
        palette[h] = FIRE_PALETTE[h];
    srand(static_cast<unsigned>(time(nullptr)));
    fill(0, 7, 0, ' ');
    fire_grid heat = {};

    for (int i = 0; i < FIRE_FRAMES; i++) {
        fire_feed(heat);
        fire_draw(heat, palette);
        fire_spread(heat);
        pause_us(FIRE_FRAME_US);
    }
}
