// The scenes: each draws into the grids for a fixed number of frames and returns.
// Routines that the show also starts as threads take and return a pointer that
// they ignore, so that the same routine serves as a thread body and a plain call.
#pragma once

#include <atomic>

// Parameters the show hands to the next scene instance it starts; the instance
// copies them when it begins.
extern std::atomic<int> ninja;    // colour parameter of the next signal wave
extern std::atomic<int> pirate;   // row offset of the next signal wave
extern std::atomic<int> id;       // layer of the next fireworks or worm instance, 1 = screen1
extern std::atomic<float> wormx;  // the next worm's two frequency divisors
extern std::atomic<float> wormy;

// Wipes: coloured diagonal bands ending on a blank blue interior (`slide`), or
// on a wholly blue grid, border included (`fillscreen`).
void slide();
void fillscreen();

// Border crawler thread body: carries a bold 'R' in fresh random colours
// clockwise round the border of `screen`, one cell every 10 ms, putting back
// what each cell held. Never returns.
void *draw_border(void *);

// Signal waves of arrows; the thread twin sleeps on after its wave. The card
// thread puts up the "omg" card 6 seconds after it starts.
void pirate_ninja_robot_zombie_mutant_alien_signals_from_outer_space();
void *pirate_ninja_robot_zombie_mutant_alien_signals_from_outer_space_thread(void *);
void *we_get_signal(void *);

// The vortex scene.
void man_eating_plasma_vortex_from_hell();

// The walking figure, both ways, with its card flashes.
void moonwalk();

// Flames rising from the bottom of the screen.
void fire();

// One firework on layer `id`.
void *fireworks(void * = nullptr);

// One worm on layer `id`, with the divisors `wormx` and `wormy`.
void *worm(void * = nullptr);

// Three spinning figures of lettered particles, with their captions.
void snurra();

// Munching squares, ending on the smile card.
void munching();

// The closing plasma.
void plasma_attack();
