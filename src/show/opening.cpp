#include <cstdio>

#include "art/art.h"
#include "effects/effects.h"
#include "screen/screen.h"
#include "screen/pause.h"
#include "show/show.h"

namespace {

struct timed_word {
    const char *word;
    int pause;
};

constexpr timed_word words[] = {
    {"v0rpa12", 1600000}, {"2127", 850000},   {"rader", 850000}, {"galen", 850000},
    {"fucking", 150000},  {"javla", 150000},  {"kod", 850000},
};

}  // namespace

void opening() {
    for (const char *count : {"1", "2", "3"}) {
        puttext(count, 200000);
        blank_screen();
        pause_us(300000);
    }
    blank_screen();

    for (const timed_word &w : words) {
        puttext(w.word, w.pause);
        blank_screen();
    }

    char *cards[] = {buf1, buf2, buf3, buf4, buf5, buf6, buf7};
    for (int i = 0; i < 7; i++) {
        char path[32];
        snprintf(path, sizeof path, "grafik/intro%d", i + 1);
        load_card(cards[i], CARD_SIZE, path);
    }

    blank_screen();
    mutta(1, 7, 1, 7, 7, buf1);
    pause_us(2500000);

    blank_screen();
    pause_us(500000);

    // Cards 2 to 6, each with half a second of the blips; the blip module
    // resumes where it stopped, so the five stabs follow one another.
    for (int i = 1; i <= 5; i++) {
        mutta(9, 3, 1, 7, 7, cards[i]);
        FMUSIC_PlaySong(knark);
        pause_us(500000);
        FMUSIC_StopSong(knark);
        if (i < 5)
            blank_screen();
    }

    // Card 7 goes over card 6.
    mutta(4, 3, 1, 7, 7, buf7);
    pause_us(2500000);

    FMUSIC_PlaySong(mod);

    for (int i = 0; i < 119; i++) {
        pause_us(50000);
        start_thread(draw_border);
    }
}
