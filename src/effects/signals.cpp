// Signal waves of arrows and the "omg" card that follows them.
//
// A wave takes its colour and row from the parameters it is started with.
#include "effects/signals.h"

#include <cmath>

#include "art/art.h"
#include "art/card_places.h"
#include "effects/effects.h"
#include "screen/pause.h"
#include "screen/screen.h"
#include "screen/thread.h"

signal_cell signal_cell_at(float hm, int colour, int centre) {
    // The remainder keeps the sign of the colour, as % does.
    int amplitude = colour % 4 + 1;
    double row = amplitude * std::sin(0.75 * hm) + centre;
    return {static_cast<int>(hm), static_cast<int>(row)};
}

float signal_advance(float hm) {
    // The step is taken in double and rounded back to single precision: the
    // error this gathers is what makes the last position 69.9995 and the wave
    // 691 steps long.
    return static_cast<float>(hm + 0.1);
}

int signal_wave(int colour, int centre) {
    int steps = 0;
    for (float hm = SIGNAL_START; hm < SIGNAL_END; hm = signal_advance(hm)) {
        signal_cell c = signal_cell_at(hm, colour, centre);
        draw(c.column, c.row, 1, colour - 1, colour, '>');
        pause_us(SIGNAL_FRAME_US);
        steps++;
    }
    return steps;
}

void pirate_ninja_robot_zombie_mutant_alien_signals_from_outer_space(const wave_params &wave) {
    signal_wave(wave.colour, wave.centre);
}

void *pirate_ninja_robot_zombie_mutant_alien_signals_from_outer_space_thread(void *wave) {
    if (wave)
        pirate_ninja_robot_zombie_mutant_alien_signals_from_outer_space(
            *static_cast<const wave_params *>(wave));
    // Nobody joins this thread: it stays parked until the show is over.
    pause_us(SIGNAL_PARK_US);
    return nullptr;
}

void *we_get_signal(void *) {
    // Slot 19 is this thread's alone. A missing card leaves it all zero and
    // the blit then draws nothing.
    load_card(PLACE_OMG, kuka[19]);
    pause_us(SIGNAL_CARD_WAIT_US);
    show_card(PLACE_OMG, kuka[19]);
    return nullptr;
}

namespace {

// The waves start on the beat; the last one is held a little after it ends.
constexpr long SIGNAL_LAUNCH_GAP_US = TITLE_BEAT_US;
constexpr long SIGNAL_END_HOLD_US = 200000;
// The three waves in their bands: red on green, black on red, magenta on cyan.
constexpr wave_params WAVES[] = {{2, 5}, {1, 10}, {6, 15}};

}  // namespace

void signal_waves() {
    start_thread(pirate_ninja_robot_zombie_mutant_alien_signals_from_outer_space_thread, &WAVES[0],
                 "a signal wave");
    pause_us(SIGNAL_LAUNCH_GAP_US);
    start_thread(pirate_ninja_robot_zombie_mutant_alien_signals_from_outer_space_thread, &WAVES[1],
                 "a signal wave");
    pause_us(SIGNAL_LAUNCH_GAP_US);
    start_thread(we_get_signal, nullptr, "the signal card");
    pirate_ninja_robot_zombie_mutant_alien_signals_from_outer_space(WAVES[2]);
    pause_us(SIGNAL_END_HOLD_US);
}
