#include "art/art.h"
#include "art/card_places.h"
#include "effects/effects.h"
#include "screen/pause.h"
#include "screen/screen.h"
#include "screen/thread.h"
#include "show/show.h"

namespace {

// The opening's holds.
constexpr long COUNT_WORD_HOLD_US = 200000;
constexpr long COUNT_GAP_US = 300000;
constexpr long INTRO_CARD_HOLD_US = 2500000;
constexpr long INTRO_BLANK_HOLD_US = 500000;
constexpr long BLIP_HOLD_US = 500000;  // one stab of the blip module
// The blip module is started and stopped this long before its card comes and
// goes. Each stab sounds 62.5 ms into its half second of the module, and the
// sound library applies a call 40 ms after it is made (one device buffer and
// a margin), so the stab sounds 27.5 ms after the card is drawn, and 0 to
// 30 ms after the render thread has printed it.
constexpr long BLIP_LEAD_US = 75000;

struct timed_word {
    const char *word;
    long hold_us;
};

constexpr timed_word words[] = {
    {"v0rpa12", 1600000}, {"2127", 850000},  {"rader", 850000}, {"galen", 850000},
    {"fucking", 150000},  {"javla", 150000}, {"kod", 850000},
};

}  // namespace

void opening() {
    for (const char *count : {"1", "2", "3"}) {
        puttext(count, COUNT_WORD_HOLD_US);
        blank_screen();
        pause_us(COUNT_GAP_US);
    }
    blank_screen();

    for (const timed_word &w : words) {
        puttext(w.word, w.hold_us);
        blank_screen();
    }

    // Card n is read into cards[n].
    char *cards[] = {nullptr, buf1, buf2, buf3, buf4, buf5, buf6, buf7};
    for (card_place_name n : {PLACE_INTRO1, PLACE_INTRO2_TO_6, PLACE_INTRO7})
        load_cards(n, cards);

    show_card(PLACE_INTRO1, buf1);
    pause_us(INTRO_CARD_HOLD_US);

    blank_screen();
    pause_us(INTRO_BLANK_HOLD_US - BLIP_LEAD_US);

    // Cards 2 to 6, each on a blank screen with half a second of the blips,
    // started and stopped BLIP_LEAD_US ahead of the card; the blip module
    // resumes where it stopped, so the five stabs follow one another.
    const card_place &blips = place(PLACE_INTRO2_TO_6);
    for (int i = blips.from; i <= blips.to; i++) {
        FMUSIC_PlaySong(knark);
        pause_us(BLIP_LEAD_US);
        show_card(blips, cards[i]);
        pause_us(BLIP_HOLD_US - BLIP_LEAD_US);
        FMUSIC_StopSong(knark);
    }
    pause_us(BLIP_LEAD_US);

    // Card 7 goes over card 6.
    show_card(PLACE_INTRO7, buf7);
    pause_us(INTRO_CARD_HOLD_US);

    FMUSIC_PlaySong(mod);

    for (int i = 0; i < BORDER_CRAWLERS; i++) {
        pause_us(CRAWLER_LAUNCH_GAP_US);
        start_thread(draw_border, nullptr, "a border crawler");
    }
}
