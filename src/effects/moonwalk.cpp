// Moonwalk: a figure of twelve cards walks across the screen and back, facing
// the way it goes, with a card flashed in three colours after each pass.
#include "effects/moonwalk.h"

#include <cstring>

#include "art/art.h"
#include "art/card_places.h"
#include "effects/effects.h"
#include "screen/pause.h"
#include "screen/screen.h"

void mirror_card(char *target, const char *source, std::size_t size) {
    if (size == 0)
        return;
    std::memset(target, 0, size);
    std::size_t len = strnlen(source, size);

    // A line feed in the first byte is not counted, yet the empty line it
    // ends is still the first line taken: the card's last line is then dropped.
    int lines = 0;
    for (std::size_t i = 1; i < len; i++)
        if (source[i] == '\n')
            lines++;

    std::size_t out = 0, start = 0;
    for (int l = 0; l < lines; l++) {
        std::size_t end = start;
        while (source[end] != '\n')  // there are at least `lines` line feeds
            end++;
        if (out < size - 1)
            target[out++] = '\n';
        for (std::size_t i = end; i > start && out < size - 1; i--)
            target[out++] = source[i - 1];
        start = end + 1;
    }
}

namespace {

constexpr long MOONWALK_FRAME_US = 100000;
constexpr long MOONWALK_FLASH_HOLD_US = 350000;

// The card, over and over in the colours white, red, green, white, red, green,
// with nothing cleared between: each lies over the one before.
void flash_card(card_place_name name, const char *card) {
    static const int colours[6] = {7, 1, 2, 7, 1, 2};
    card_place at = place(name);
    for (int c : colours) {
        at.fg = at.bg = c;
        show_card(at, card);
        pause_us(MOONWALK_FLASH_HOLD_US);
    }
}

// One pass: right (mirrored cards), left (cards as loaded), right again, twelve
// frames a leg, four columns a frame, a fresh screen every frame.
void walk(const char (*ahem)[CARD_SIZE], const char (*ahem_backwards)[CARD_SIZE]) {
    card_place at = place(PLACE_MAN_LEFTMOST);
    const int frames = at.to - at.from + 1;  // a card a frame
    int eek = 0, first = 1, end = first + frames, step = 1;
    for (int leg = 0; leg < 3; leg++) {
        int frame = at.from;
        for (int x = first; x != end; x += step, frame++) {
            const char *card = eek ? ahem[frame] : ahem_backwards[frame];
            at.x = moonwalk_column(eek, x);
            at.y = moonwalk_row(eek);
            show_card(at, card);
            pause_us(MOONWALK_FRAME_US);
        }
        int t = first;
        first = end;
        end = t;
        step = -step;
        eek = !eek;
    }
}

}  // namespace

void moonwalk() {
    // Entries 1 to 12 hold the walking cards; the tables live only while the
    // scene runs.
    char ahem[20][CARD_SIZE];
    char ahem_backwards[20][CARD_SIZE];
    char sup[CARD_SIZE];

    load_cards(PLACE_MAN_LEFTMOST, ahem);
    for (int k = place(PLACE_MAN_LEFTMOST).from; k <= place(PLACE_MAN_LEFTMOST).to; k++)
        mirror_card(ahem_backwards[k], ahem[k], CARD_SIZE);

    walk(ahem, ahem_backwards);
    load_card(PLACE_WOW, sup);
    flash_card(PLACE_WOW, sup);

    walk(ahem, ahem_backwards);
    load_card(PLACE_FANTASTIC, sup);
    flash_card(PLACE_FANTASTIC, sup);
}
