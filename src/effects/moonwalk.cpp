// Moonwalk: a figure of twelve cards walks across the screen and back, facing
// the way it goes, with a card flashed in three colours after each pass.
#include "effects/moonwalk.h"

#include <cstdio>
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

constexpr int MAN_CARDS = 12;
constexpr long MOONWALK_FRAME_US = 100000;
constexpr long MOONWALK_FLASH_HOLD_US = 350000;

// The card, over and over in the colours white, red, green, white, red, green,
// with nothing cleared between: each lies over the one before.
void flash_card(const char *card) {
    static const int colours[6] = {7, 1, 2, 7, 1, 2};
    const card_place &at = place(PLACE_WOW);
    for (int c : colours) {
        mutta(at.x, at.y, at.attr, c, c, card);
        pause_us(MOONWALK_FLASH_HOLD_US);
    }
}

// One pass: right (mirrored cards), left (cards as loaded), right again, twelve
// frames a leg, four columns a frame, a fresh blue screen every frame.
void walk(const char (*ahem)[CARD_SIZE], const char (*ahem_backwards)[CARD_SIZE]) {
    int eek = 0, first = 1, end = 13, step = 1;
    for (int leg = 0; leg < 3; leg++) {
        int frame = 1;
        for (int x = first; x != end; x += step, frame++) {
            fill(1, 7, 4, ' ');
            const char *card = eek ? ahem[frame] : ahem_backwards[frame];
            mutta(moonwalk_column(eek, x), moonwalk_row(eek), 1, 7, 4, card);
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
    char snopp[50];

    for (int k = 1; k <= MAN_CARDS; k++) {
        std::snprintf(snopp, sizeof snopp, "grafik/man%d", k);
        load_card(ahem[k], CARD_SIZE, snopp);
    }
    for (int k = 1; k <= MAN_CARDS; k++)
        mirror_card(ahem_backwards[k], ahem[k], CARD_SIZE);

    walk(ahem, ahem_backwards);
    load_card(sup, CARD_SIZE, "grafik/wow");
    flash_card(sup);

    walk(ahem, ahem_backwards);
    load_card(sup, CARD_SIZE, "grafik/fantastic");
    flash_card(sup);
}
