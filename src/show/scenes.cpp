#include "art/art.h"
#include "art/card_places.h"
#include "effects/effects.h"
#include "screen/pause.h"
#include "screen/render.h"
#include "screen/screen.h"
#include "show/show.h"

const char credits[] = "k0d:  TROVE  -  mj00sic: QUARVELIN - mad greetz till: "
                       "ZEBRO DORFO KWELLA YMP QX FLONDRIK GRAVO";

namespace {

// The driver's holds.
constexpr long SIGNAL_FIRST_CARD_HOLD_US = 800000;
constexpr long SIGNAL_CARD_HOLD_US = 500000;
// How long the word announcing a scene stays up.
constexpr long WORMS_WORD_HOLD_US = 800000;
constexpr long SNURRA_WORD_HOLD_US = 700000;
constexpr long MUNCHING_WORD_HOLD_US = 1000000;

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

    print_screen();
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
