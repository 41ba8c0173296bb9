// Title sequences: short runs of art cards shown right before a scene, and
// `ching`, a scene made only of cards.
#include "art/art.h"
#include "art/card_places.h"

#include <cstdio>

#include "screen/pause.h"
#include "screen/screen.h"

namespace {

// Card slots of the title sequences, used from slot 1 upwards. Kept off the
// stack (20 cards are 100 kB); the sequences run one at a time.
char slots[20][CARD_SIZE];

// Loads the cards `pattern` formatted with 1 to `files` into `cards` slots 1 upwards.
void load_cards(char (*cards)[CARD_SIZE], const char *pattern, int files) {
    char path[64];
    for (int i = 1; i <= files; i++) {
        std::snprintf(path, sizeof path, pattern, i);
        load_card(cards[i], CARD_SIZE, path);
    }
}

// Shows cards 1 to `shown` one by one: blue screen, the card at its place,
// then `beats` pauses of one beat each.
void show_cards(char (*cards)[CARD_SIZE], int shown, const card_place &at, int beats) {
    for (int i = 1; i <= shown; i++) {
        fill(1, 7, 4, ' ');
        draw_card(at, cards[i]);
        for (int b = 0; b < beats; b++)
            pause_us(TITLE_BEAT_US);
    }
}

void title_sequence(const char *pattern, int files, int shown, const card_place &at, int beats) {
    load_cards(slots, pattern, files);
    show_cards(slots, shown, at, beats);
}

}  // namespace

void ching_intro() { title_sequence("grafik/ching_intro%d", 2, 2, place(PLACE_CHING_INTRO), 2); }

// The signal cards go into the global slots: the show draws cards 11 and 12
// again after the signal waves. Cards 12 and 13 are not shown here.
void pirate_ninja_robot_zombie_mutant_alien_signals_from_outer_space_intro() {
    load_cards(kuka, "grafik/signal%d", 13);
    show_cards(kuka, 11, place(PLACE_SIGNAL_TITLE), 1);
}

// The fifth card is shown only once, at the end, as red blocks on black.
void man_eating_plasma_vortex_from_hell_intro() {
    title_sequence("grafik/vortex%d", 5, 4, place(PLACE_VORTEX_TITLE), 1);
    fill(1, 7, 0, ' ');
    draw_card(place(PLACE_VORTEX_RED), slots[5]);
    pause_us(TITLE_BEAT_US);
}

void moonwalk_intro() { title_sequence("grafik/man_intro%d", 1, 1, place(PLACE_MAN_INTRO), 2); }

// The third card is shown white and then once more as red blocks on blue.
void fire_intro() {
    title_sequence("grafik/fire%d", 3, 3, place(PLACE_FIRE_TITLE), 1);
    fill(1, 7, 4, ' ');
    draw_card(place(PLACE_FIRE_RED), slots[3]);
    pause_us(TITLE_BEAT_US);
}

void fireworks_intro() {
    title_sequence("grafik/fireworks%d", 3, 3, place(PLACE_FIREWORKS_TITLE), 2);
    pause_us(TITLE_BEAT_US);
}

void plasma_attack_intro() {
    title_sequence("grafik/plasma%d", 1, 1, place(PLACE_PLASMA_TITLE), 2);
}

// Colour 3 (yellow) on black: the first card bold for a second, then the
// second (normal) and third (bold) cards alternate three times, half a second
// each. The third card stays on the screen.
void ching() {
    load_card(buf3, sizeof buf3, "grafik/ching1");
    load_card(buf4, sizeof buf4, "grafik/ching2");
    load_card(buf5, sizeof buf5, "grafik/ching3");
    fill(0, 3, 0, ' ');
    draw_card(place(PLACE_CHING1), buf3);
    pause_us(1000000);
    for (int k = 0; k < 3; k++) {
        fill(0, 3, 0, ' ');
        draw_card(place(PLACE_CHING2), buf4);
        pause_us(500000);
        fill(0, 3, 0, ' ');
        draw_card(place(PLACE_CHING3), buf5);
        pause_us(500000);
    }
}
