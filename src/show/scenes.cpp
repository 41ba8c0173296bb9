#include "art/art.h"
#include "art/card_places.h"
#include "effects/effects.h"
#include "screen/pause.h"
#include "screen/render.h"
#include "screen/screen.h"
#include "screen/thread.h"
#include "show/show.h"

const char credits[] = "k0d:  TROVE  -  mj00sic: QUARVELIN - mad greetz till: "
                       "ZEBRO DORFO KWELLA YMP QX FLONDRIK GRAVO";

namespace {

// The driver's holds. Each scene instance is started with parameters of its
// own; the launch gaps are choreography, not hand-over time.
constexpr long SIGNAL_LAUNCH_GAP_US = TITLE_BEAT_US;  // the waves start on the beat
constexpr long SIGNAL_END_HOLD_US = 200000;
constexpr long SIGNAL_FIRST_CARD_HOLD_US = 800000;
constexpr long SIGNAL_CARD_HOLD_US = 500000;
constexpr long FIREWORKS_LAUNCH_GAP_US = 100000;
constexpr long FIREWORKS_VOLLEY_HOLD_US = 500000;
constexpr long WORMS_LAUNCH_GAP_US = 50000;
// How long the word announcing a scene stays up.
constexpr long WORMS_WORD_HOLD_US = 800000;
constexpr long SNURRA_WORD_HOLD_US = 700000;
constexpr long MUNCHING_WORD_HOLD_US = 1000000;

// The three waves in their bands: red on green, black on red, magenta on cyan.
constexpr wave_params WAVES[] = {{2, 5}, {1, 10}, {6, 15}};
// A volley's instances, one a layer.
constexpr int FIREWORKS_LAYERS[] = {1, 2, 3, 4, 5, 6};
// The worm on layer 1 and the one crawling over it on layer 3.
constexpr worm_params WORMS[] = {{6.0f, 4.0f, 1}, {4.0f, 2.0f, 3}};

// Cards 11 and 12 of the signal title, flashed in white and red on black.
void signal_cards() {
    for (long hold : {SIGNAL_FIRST_CARD_HOLD_US, SIGNAL_CARD_HOLD_US}) {
        show_card(PLACE_SIGNAL_WHITE, kuka[11]);
        pause_us(hold);
        show_card(PLACE_SIGNAL_RED, kuka[12]);
        pause_us(SIGNAL_CARD_HOLD_US);
    }
}

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

void fireworks_volley() {
    update_mode.store(1, std::memory_order_relaxed);
    dbnum.store(0, std::memory_order_relaxed);
    for (int i = 0; i < 5; i++) {
        start_thread(fireworks, &FIREWORKS_LAYERS[i], "a fireworks rocket");
        pause_us(FIREWORKS_LAUNCH_GAP_US);
        dbnum.fetch_add(1, std::memory_order_relaxed);
    }
    int last = FIREWORKS_LAYERS[5];
    fireworks(&last);
    pause_us(FIREWORKS_VOLLEY_HOLD_US);
}

void worms() {
    update_mode.store(1, std::memory_order_relaxed);
    dbnum.store(3, std::memory_order_relaxed);
    start_thread(worm, &WORMS[0], "the worm on layer 1");
    pause_us(WORMS_LAUNCH_GAP_US);
    worm_params second = WORMS[1];
    worm(&second);
    update_mode.store(0, std::memory_order_relaxed);
}

void scenes() {
    slide();
    ching_intro();
    ching();

    slide();
    pirate_ninja_robot_zombie_mutant_alien_signals_from_outer_space_intro();
    blank_screen();
    signal_waves();
    signal_cards();

    slide();
    man_eating_plasma_vortex_from_hell_intro();
    man_eating_plasma_vortex_from_hell();

    slide();
    moonwalk_intro();
    moonwalk();

    slide();
    fire_intro();
    fire();

    slide();
    fireworks_intro();
    fireworks_volley();
    fireworks_volley();

    update_mode.store(0, std::memory_order_relaxed);
    slide();
    puttext("WORMZZZ", WORMS_WORD_HOLD_US);
    worms();

    slide();
    puttext("wtf", SNURRA_WORD_HOLD_US);
    snurra();

    slide();
    puttext("x0r me", MUNCHING_WORD_HOLD_US);
    munching();

    slide();
    plasma_attack_intro();
    plasma_attack();

    static char end_card[CARD_SIZE];
    load_card(PLACE_END, end_card);
    scrolla(credits);
    show_card(PLACE_END, end_card);
}
