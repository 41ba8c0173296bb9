#include "art/art.h"
#include "art/card_places.h"
#include "effects/effects.h"
#include "screen/pause.h"
#include "screen/render.h"
#include "screen/screen.h"
#include "show/show.h"
#include "show/timeline.h"

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

// The end card, read as the scroller begins so that it is up the moment the
// scroller ends.
char end_card[CARD_SIZE];

}  // namespace

void play_scene(scene_name scene) {
    switch (scene) {
        case SCENE_OPENING:
            opening();
            break;
        case SCENE_CHING:
            slide();
            ching_intro();
            ching();
            break;
        case SCENE_SIGNALS:
            slide();
            pirate_ninja_robot_zombie_mutant_alien_signals_from_outer_space_intro();
            blank_screen();
            signal_waves();
            signal_cards();
            break;
        case SCENE_VORTEX:
            slide();
            man_eating_plasma_vortex_from_hell_intro();
            man_eating_plasma_vortex_from_hell();
            break;
        case SCENE_MOONWALK:
            slide();
            moonwalk_intro();
            moonwalk();
            break;
        case SCENE_FIRE:
            slide();
            fire_intro();
            fire();
            break;
        case SCENE_FIREWORKS:
            slide();
            fireworks_intro();
            fireworks_volley();
            fireworks_volley();
            break;
        case SCENE_WORMS:
            // The volleys leave the layers' composite printed; the wipe is
            // drawn on `screen`, so it is printed again first.
            print_screen();
            slide();
            puttext("WORMZZZ", WORMS_WORD_HOLD_US);
            worms();
            break;
        case SCENE_SPINNING:
            slide();
            puttext("wtf", SNURRA_WORD_HOLD_US);
            snurra();
            break;
        case SCENE_MUNCHING:
            slide();
            puttext("x0r me", MUNCHING_WORD_HOLD_US);
            munching();
            break;
        case SCENE_PLASMA:
            slide();
            plasma_attack_intro();
            plasma_attack();
            break;
        case SCENE_SCROLLER:
            load_card(PLACE_END, end_card);
            scrolla(credits);
            break;
        case SCENE_END:
            show_card(PLACE_END, end_card);
            break;
        case SCENE_COUNT:
            break;
    }
}

void scenes() {
    for (const scene_time &s : timeline)
        if (s.scene != SCENE_OPENING)
            play_scene(s.scene);
}
