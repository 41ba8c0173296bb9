// Every art card of the show: which file it is, what buffer it is read into,
// and where, in which colours and on which ground it is shown. The show loads
// and shows its cards only through this table (load_card, load_cards,
// show_card), and the preview and the checks of the art read it too. A row
// covers the files "grafik/<stem><from..to>", or "grafik/<stem>" when from is
// 0. A card shown in more than one place, colour or ground has a row for each;
// the first is where the preview shows it.
#pragma once

#include <cstddef>
#include <iterator>
#include <span>

#include "art/art.h"

// What a card is shown on: the whole screen first filled with blanks in these
// colours, or nothing, for a card drawn over the picture already there.
struct card_ground {
    bool filled;
    int attr, fg, bg;
};

constexpr card_ground GROUND_BLUE = {true, 1, 7, 4};  // the blank blue screen
constexpr card_ground GROUND_BLACK = {true, 1, 7, 0};
constexpr card_ground GROUND_CHING = {true, 0, 3, 0};  // black under yellow
constexpr card_ground GROUND_OVER = {false, 0, 0, 0};

// A buffer that cards are read into: which one it is, and its size. A card
// read into it holds at most size - 1 bytes; the buffer is declared with that
// size, and load_card reads no more than the buffer it is handed holds.
struct card_buffer {
    const char *name;
    std::size_t size;
};

// Card n of the opening in bufn; ching reads its three into buf3 to buf5.
constexpr card_buffer OPENING_BUFFERS = {"buf1 to buf7", CARD_SIZE};
// Card n of a title sequence in slot n of the sequences' own (titles.cpp).
constexpr card_buffer TITLE_SLOTS = {"the title slots", CARD_SIZE};
// Card n in kuka[n]: the show draws signal cards 11 and 12 again after the
// waves, and the card under the waves is kuka[19].
constexpr card_buffer KUKA = {"kuka", CARD_SIZE};
// A scene's own buffer, named as the scene names it.
constexpr card_buffer scene_card(const char *name) { return {name, CARD_SIZE}; }
// The smile card's buffer is smaller than the others.
constexpr card_buffer SMILE_BUFFER = {"the smile's own", 500};

struct card_place {
    const char *stem;
    int from, to;
    int x, y, attr, fg, bg;
    card_ground ground;
    card_buffer buffer;  // what it is read into
};

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
    PLACE_SMILE_HELD,
    PLACE_END,
    CARD_PLACE_COUNT
};

constexpr card_place CARD_PLACE_TABLE[CARD_PLACE_COUNT] = {
    {"intro", 1, 1, 1, 7, 1, 7, 7, GROUND_BLUE, OPENING_BUFFERS},
    {"intro", 2, 6, 9, 3, 1, 7, 7, GROUND_BLUE, OPENING_BUFFERS},
    // Over the sixth card.
    {"intro", 7, 7, 4, 3, 1, 7, 7, GROUND_OVER, OPENING_BUFFERS},
    {"ching_intro", 1, 2, 5, 6, 1, 7, 7, GROUND_BLUE, TITLE_SLOTS},
    {"ching", 1, 1, 1, 1, 1, 3, 0, GROUND_CHING, OPENING_BUFFERS},
    {"ching", 2, 2, 1, 1, 0, 3, 0, GROUND_CHING, OPENING_BUFFERS},
    {"ching", 3, 3, 1, 1, 1, 3, 0, GROUND_CHING, OPENING_BUFFERS},
    {"signal", 1, 11, 15, 6, 1, 7, 7, GROUND_BLUE, KUKA},
    // After the waves, over the white eleventh card.
    {"signal", 12, 12, 9, 1, 1, 1, 0, GROUND_OVER, KUKA},
    {"signal", 11, 11, 9, 1, 1, 7, 0, GROUND_BLACK, KUKA},
    // Loaded with the signal cards and never shown; the preview shows it with them.
    {"signal", 13, 13, 15, 6, 1, 7, 7, GROUND_BLUE, KUKA},
    // Over the waves.
    {"omg", 0, 0, 1, 18, 1, 7, 7, GROUND_OVER, KUKA},  // in kuka[19]
    {"vortex", 1, 4, 5, 6, 1, 7, 7, GROUND_BLUE, TITLE_SLOTS},
    {"vortex", 5, 5, 5, 6, 1, 1, 1, GROUND_BLACK, TITLE_SLOTS},
    // Over the vortex's last frame.
    {"lol", 0, 0, 29, 9, 1, 2, 2, GROUND_OVER, scene_card("sup in vortex.cpp")},
    {"man_intro", 1, 1, 5, 6, 1, 7, 7, GROUND_BLUE, TITLE_SLOTS},
    // As loaded, walking leftwards from column 53 to 9 at row 1; the mirrored
    // copies start left of column 0.
    {"man", 1, 12, 9, 1, 1, 7, 4, GROUND_BLUE, scene_card("ahem in moonwalk.cpp")},
    {"man", 1, 12, 53, 1, 1, 7, 4, GROUND_BLUE, scene_card("ahem in moonwalk.cpp")},
    // Flashed in white, red and green over the walk's last frame; the rows give white.
    {"wow", 0, 0, 1, 4, 1, 7, 7, GROUND_OVER, scene_card("sup in moonwalk.cpp")},
    {"fantastic", 0, 0, 1, 4, 1, 7, 7, GROUND_OVER, scene_card("sup in moonwalk.cpp")},
    {"fire", 1, 3, 15, 6, 1, 7, 7, GROUND_BLUE, TITLE_SLOTS},
    {"fire", 3, 3, 15, 6, 1, 1, 1, GROUND_BLUE, TITLE_SLOTS},
    {"fireworks", 1, 3, 5, 6, 1, 7, 7, GROUND_BLUE, TITLE_SLOTS},
    {"plasma", 1, 1, 2, 1, 1, 7, 7, GROUND_BLUE, TITLE_SLOTS},
    // Over the munching squares, then held alone on blue.
    {"smile", 0, 0, 31, 8, 1, 7, 7, GROUND_OVER, SMILE_BUFFER},
    {"smile", 0, 0, 31, 8, 1, 7, 7, GROUND_BLUE, SMILE_BUFFER},
    {"end", 0, 0, 20, 5, 1, 7, 7, GROUND_BLUE, scene_card("end_card in scenes.cpp")},
};

constexpr std::span<const card_place> CARD_PLACES(CARD_PLACE_TABLE);

constexpr const card_place &place(card_place_name n) { return CARD_PLACE_TABLE[n]; }

// Writes the file name of card `number` of `p` into `path` ("grafik/<stem>"
// and the number, or without it when the row is one card of number 0).
void card_path(const card_place &p, int number, char *path, std::size_t size);

// Reads card `number` of row `n` into `card`: at most the row's buffer size
// less one byte, and never more than `card` holds less one.
void load_card(card_place_name n, int number, std::span<char> card);
// The same for the row's first (or only) card.
inline void load_card(card_place_name n, std::span<char> card) {
    load_card(n, place(n).from, card);
}

// Reads every card of row `n` into `cards[number]`, numbered as the row
// numbers them; `cards` holds an entry for each (card buffers or spans of
// them).
template <class Cards>
void load_cards(card_place_name n, Cards &cards) {
    for (int i = place(n).from; i <= place(n).to && i < static_cast<int>(std::size(cards)); i++)
        load_card(n, i, cards[i]);
}

// Shows `card` as row `p` places it: fills the screen with its ground unless
// it is drawn over the picture there, then blits it (mutta) at its place in
// its colours.
void show_card(const card_place &p, const char *card);
inline void show_card(card_place_name n, const char *card) { show_card(place(n), card); }
