// Title sequences: short runs of art cards shown right before a scene, and
// `ching`, a scene made only of cards.
#include "art/art.h"
#include "art/card_places.h"

#include "screen/pause.h"
#include "screen/screen.h"

namespace {

// Card slots of the title sequences, used from slot 1 upwards. Kept off the
// stack (20 cards are 100 kB); the sequences run one at a time.
char slots[20][CARD_SIZE];

// Shows the cards of row `at` one by one, each on its ground at its place,
// then `beats` pauses of one beat each.
void show_cards(char (*cards)[CARD_SIZE], card_place_name at, int beats) {
    for (int i = place(at).from; i <= place(at).to; i++) {
        show_card(at, cards[i]);
        for (int b = 0; b < beats; b++)
            pause_us(TITLE_BEAT_US);
    }
}

// Loads the cards of row `shown` and shows them.
void title_sequence(card_place_name shown, int beats) {
    load_cards(shown, slots);
    show_cards(slots, shown, beats);
}

}  // namespace

void ching_intro() { title_sequence(PLACE_CHING_INTRO, 2); }

// The signal cards go into the global slots: the show draws cards 11 and 12
// again after the signal waves. Cards 12 and 13 are not shown here.
void pirate_ninja_robot_zombie_mutant_alien_signals_from_outer_space_intro() {
    for (card_place_name n : {PLACE_SIGNAL_TITLE, PLACE_SIGNAL_RED, PLACE_SIGNAL_UNSHOWN})
        load_cards(n, kuka);
    show_cards(kuka, PLACE_SIGNAL_TITLE, 1);
}

// The fifth card is shown only once, at the end, as red blocks on black.
void man_eating_plasma_vortex_from_hell_intro() {
    load_cards(PLACE_VORTEX_TITLE, slots);
    load_cards(PLACE_VORTEX_RED, slots);
    show_cards(slots, PLACE_VORTEX_TITLE, 1);
    show_cards(slots, PLACE_VORTEX_RED, 1);
}

void moonwalk_intro() { title_sequence(PLACE_MAN_INTRO, 2); }

// The third card is shown white and then once more as red blocks on blue; it
// is loaded once, with the white ones.
void fire_intro() {
    title_sequence(PLACE_FIRE_TITLE, 1);
    show_cards(slots, PLACE_FIRE_RED, 1);
}

void fireworks_intro() {
    title_sequence(PLACE_FIREWORKS_TITLE, 2);
    pause_us(TITLE_BEAT_US);
}

void plasma_attack_intro() { title_sequence(PLACE_PLASMA_TITLE, 2); }

// Colour 3 (yellow) on black: the first card bold for a second, then the
// second (normal) and third (bold) cards alternate three times, half a second
// each. The third card stays on the screen.
void ching() {
    load_card(PLACE_CHING1, buf3);
    load_card(PLACE_CHING2, buf4);
    load_card(PLACE_CHING3, buf5);
    show_card(PLACE_CHING1, buf3);
    pause_us(1000000);
    for (int k = 0; k < 3; k++) {
        show_card(PLACE_CHING2, buf4);
        pause_us(500000);
        show_card(PLACE_CHING3, buf5);
        pause_us(500000);
    }
}
