// Where and how the show draws each of its art cards: the one table the show
// draws from, and that the preview and the checks of the art read. A row
// covers the files "grafik/<stem><from..to>", or "grafik/<stem>" when from is
// 0. A card drawn in more than one place or colour has a row for each; the
// first is where the preview shows it.
#pragma once

#include <span>

#include "art/art.h"

struct card_place {
    const char *stem;
    int from, to;
    int x, y, attr, fg, bg;
    int back_attr, back_fg, back_bg;  // the fill under it
    int buffer;                       // the buffer it is read into: it holds buffer - 1 bytes
};

// The smile card's buffer is smaller than the others.
constexpr int SMILE_SIZE = 500;

enum card_place_name {
    PLACE_INTRO1,
    PLACE_INTRO2_TO_6,
    PLACE_INTRO7,
    PLACE_CHING_INTRO,
    PLACE_CHING1,
    PLACE_CHING2,
    PLACE_CHING3,
    PLACE_SIGNAL_TITLE,
    PLACE_SIGNAL_RED,
    PLACE_SIGNAL_WHITE,
    PLACE_SIGNAL_UNSHOWN,
    PLACE_OMG,
    PLACE_VORTEX_TITLE,
    PLACE_VORTEX_RED,
    PLACE_LOL,
    PLACE_MAN_INTRO,
    PLACE_MAN_LEFTMOST,
    PLACE_MAN_RIGHTMOST,
    PLACE_WOW,
    PLACE_FANTASTIC,
    PLACE_FIRE_TITLE,
    PLACE_FIRE_RED,
    PLACE_FIREWORKS_TITLE,
    PLACE_PLASMA_TITLE,
    PLACE_SMILE,
    PLACE_END,
    CARD_PLACE_COUNT
};

constexpr card_place CARD_PLACE_TABLE[CARD_PLACE_COUNT] = {
    {"intro", 1, 1, 1, 7, 1, 7, 7, 1, 7, 4, CARD_SIZE},
    {"intro", 2, 6, 9, 3, 1, 7, 7, 1, 7, 4, CARD_SIZE},
    {"intro", 7, 7, 4, 3, 1, 7, 7, 1, 7, 4, CARD_SIZE},
    {"ching_intro", 1, 2, 5, 6, 1, 7, 7, 1, 7, 4, CARD_SIZE},
    {"ching", 1, 1, 1, 1, 1, 3, 0, 0, 3, 0, CARD_SIZE},
    {"ching", 2, 2, 1, 1, 0, 3, 0, 0, 3, 0, CARD_SIZE},
    {"ching", 3, 3, 1, 1, 1, 3, 0, 0, 3, 0, CARD_SIZE},
    {"signal", 1, 11, 15, 6, 1, 7, 7, 1, 7, 4, CARD_SIZE},
    {"signal", 12, 12, 9, 1, 1, 1, 0, 1, 7, 0, CARD_SIZE},
    {"signal", 11, 11, 9, 1, 1, 7, 0, 1, 7, 0, CARD_SIZE},
    // Loaded with the signal cards and never drawn; shown where they are.
    {"signal", 13, 13, 15, 6, 1, 7, 7, 1, 7, 4, CARD_SIZE},
    {"omg", 0, 0, 1, 18, 1, 7, 7, 1, 7, 4, CARD_SIZE},
    {"vortex", 1, 4, 5, 6, 1, 7, 7, 1, 7, 4, CARD_SIZE},
    {"vortex", 5, 5, 5, 6, 1, 1, 1, 1, 7, 0, CARD_SIZE},
    {"lol", 0, 0, 29, 9, 1, 2, 2, 1, 7, 4, CARD_SIZE},
    {"man_intro", 1, 1, 5, 6, 1, 7, 7, 1, 7, 4, CARD_SIZE},
    // As loaded, walking leftwards from column 53 to 9 at row 1; the mirrored
    // copies start left of column 0.
    {"man", 1, 12, 9, 1, 1, 7, 4, 1, 7, 4, CARD_SIZE},
    {"man", 1, 12, 53, 1, 1, 7, 4, 1, 7, 4, CARD_SIZE},
    // Flashed in white, red and green; shown in white.
    {"wow", 0, 0, 1, 4, 1, 7, 7, 1, 7, 4, CARD_SIZE},
    {"fantastic", 0, 0, 1, 4, 1, 7, 7, 1, 7, 4, CARD_SIZE},
    {"fire", 1, 3, 15, 6, 1, 7, 7, 1, 7, 4, CARD_SIZE},
    {"fire", 3, 3, 15, 6, 1, 1, 1, 1, 7, 4, CARD_SIZE},
    {"fireworks", 1, 3, 5, 6, 1, 7, 7, 1, 7, 4, CARD_SIZE},
    {"plasma", 1, 1, 2, 1, 1, 7, 7, 1, 7, 4, CARD_SIZE},
    {"smile", 0, 0, 31, 8, 1, 7, 7, 1, 7, 4, SMILE_SIZE},
    {"end", 0, 0, 20, 5, 1, 7, 7, 1, 7, 4, CARD_SIZE},
};

constexpr std::span<const card_place> CARD_PLACES(CARD_PLACE_TABLE);

constexpr const card_place &place(card_place_name n) { return CARD_PLACE_TABLE[n]; }

// Blits `card` at its place in its colours (mutta).
void draw_card(const card_place &p, const char *card);
