// The scenes: each draws into the grids for a fixed number of frames and returns.
// Routines that the show also starts as threads take a pointer to their
// parameters (or ignore it) and return null, so that the same routine serves as
// a thread body and a plain call.
#pragma once

// What the show hands a scene instance it starts: its start argument points to
// its own parameters, which nobody changes, so the show need not wait for the
// instance to take them before it starts the next one. A null argument draws
// nothing.
struct wave_params {
    int colour;  // the wave's cells are colour - 1 on colour; amplitude colour % 4 + 1 rows
    int centre;  // the row the wave swings round
};
struct worm_params {
    float wormx, wormy;  // the two frequency divisors of the worm's path
    int layer;           // the layer it draws on, 1 to 3
};

// The wipe: coloured diagonal bands ending on a blank blue interior.
void slide();

// Border crawler thread body: carries a bold 'R' in fresh random colours
// clockwise round the border of `screen`, one cell every CRAWLER_STEP_US,
// putting back what each cell held. Never returns. The opening starts
// BORDER_CRAWLERS of them, one every CRAWLER_LAUNCH_GAP_US.
void *draw_border(void *);
constexpr int BORDER_CRAWLERS = 119;
constexpr long CRAWLER_STEP_US = 10000;
constexpr long CRAWLER_LAUNCH_GAP_US = 50000;

// Signal waves of arrows; the thread twin sleeps on after its wave. The card
// thread puts up the "omg" card 6 seconds after it starts.
void pirate_ninja_robot_zombie_mutant_alien_signals_from_outer_space(const wave_params &wave);
void *pirate_ninja_robot_zombie_mutant_alien_signals_from_outer_space_thread(void *wave);
void *we_get_signal(void *);
// The three signal waves, each started with its own parameters, the first two
// on threads of their own, with the card thread.
void signal_waves();

// The vortex scene.
void man_eating_plasma_vortex_from_hell();

// The walking figure, both ways, with its card flashes.
void moonwalk();

// Flames rising from the bottom of the screen.
void fire();

// One firework on the layer (1 to LAYERS) that the int at `layer` names.
void *fireworks(void *layer);
// One volley, printed as the composite of the layers: five rockets on threads,
// on layers 1 to 5, 100 ms apart, each layer printed from its launch on, and a
// sixth on layer 6, not printed, that holds the show.
void fireworks_volley();

// One worm with the worm_params at `params`.
void *worm(void *params);
// Two worms, printed as the composite of layers 1 to 3: layer 1's on a thread,
// layer 3's on the calling thread; `screen` is printed again after them.
void worms();

// Three spinning figures of lettered particles, with their captions.
void snurra();

// Munching squares, ending on the smile card.
void munching();

// The closing plasma.
void plasma_attack();
