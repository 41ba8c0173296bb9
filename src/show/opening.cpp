#include <algorithm>

#include "art/art.h"
#include "art/card_places.h"
#include "blip_module.h"
#include "clocks.h"
#include "effects/effects.h"
#include "screen/pause.h"
#include "screen/render.h"
#include "screen/screen.h"
#include "screen/thread.h"
#include "show/show.h"

namespace {

// The opening's holds.
constexpr long COUNT_WORD_HOLD_US = 200000;
constexpr long COUNT_GAP_US = 300000;
constexpr long INTRO_CARD_HOLD_US = 2500000;
constexpr long INTRO_BLANK_HOLD_US = 500000;
constexpr long BLIP_HOLD_US = KNARK_STAB_US;  // one stab of the blip module
// The blip module is started and stopped this long before its card comes and
// goes. Each stab's chord sounds KNARK_CHORD_US (62.5 ms) into its half second
// of the module, and the sound library applies a call its call delay after it
// is made (40 ms: one device buffer and a margin), so the stab sounds
// STAB_AFTER_CARD_US after the card is drawn, and about 13 ms after the
// render thread has printed it (drawn just before a frame, as below). In a
// recording that is 38 to 46 ms after the card's frame.
constexpr long STAB_AFTER_CARD_US = 17500;
long blip_lead_us() { return sound_call_delay_ms() * 1000L + KNARK_CHORD_US - STAB_AFTER_CARD_US; }
// Each blip waits (up to one frame) until its card can be drawn this long
// before the render thread starts a frame, so that every card is printed as
// soon after its draw as the next, and every stab follows its card alike,
// instead of 0 to 30 ms later depending on where the draw fell in the frame.
constexpr long CARD_BEFORE_FRAME_US = 4000;
// A stop fades the blip module out over the sound library's ramp and leaves
// it where the fade ended, so a blip resumed after a wait of that much or
// more comes that much further on than the half seconds played.
constexpr long BLIP_FADE_US = SOUND_RAMP_MS * 1000L;

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
    std::span<char> cards[] = {{}, buf1, buf2, buf3, buf4, buf5, buf6, buf7};
    for (card_place_name n : {PLACE_INTRO1, PLACE_INTRO2_TO_6, PLACE_INTRO7})
        load_cards(n, cards);

    show_card(PLACE_INTRO1, buf1);
    pause_us(INTRO_CARD_HOLD_US);

    blank_screen();
    const long blip_lead = blip_lead_us();
    pause_us(INTRO_BLANK_HOLD_US - blip_lead);

    // Cards 2 to 6, each on a blank screen with half a second of the blips,
    // started and stopped blip_lead ahead of the card; the blip module
    // resumes where it stopped, so the five stabs follow one another.
    //
    // While the render thread prints in its rhythm, each blip first waits
    // for its card's frame (after a stop at least the fade), and the waits
    // come out of card 7's hold, so the opening keeps its length. Each
    // half second then starts the module further on than the last ended: by
    // the fade, and by however much longer than 500 ms the pauses made the
    // last. Its stab sounds that much sooner after the start, so the card is
    // drawn that much sooner too. Without a rhythm (no render thread
    // printing, or a blocked terminal) the blips follow one another unbroken.
    const card_place &blips = place(PLACE_INTRO2_TO_6);
    long waited = 0;    // the waits for frames
    long moved_on = 0;  // how far the module is past the half seconds played
    for (int i = blips.from; i <= blips.to; i++) {
        const long fade = i > blips.from ? BLIP_FADE_US : 0;
        const long early = std::clamp(moved_on + fade, 0L, blip_lead);
        long lead = blip_lead;
        if (long wait = wait_for_frame(fade + lead - early, CARD_BEFORE_FRAME_US); wait >= 0) {
            pause_us(fade + wait);
            waited += fade + wait;
            moved_on += fade;
            lead -= early;
        }
        const long played_at = wall_us();
        FMUSIC_PlaySong(knark);
        pause_us(lead);
        show_card(blips, cards[i].data());
        pause_us(BLIP_HOLD_US - lead);
        const long stopped_at = wall_us();
        FMUSIC_StopSong(knark);
        moved_on += stopped_at - played_at - BLIP_HOLD_US;
    }
    pause_us(blip_lead);

    // Card 7 goes over card 6.
    show_card(PLACE_INTRO7, buf7);
    pause_us(INTRO_CARD_HOLD_US - waited);

    FMUSIC_PlaySong(mod);

    for (int i = 0; i < BORDER_CRAWLERS; i++) {
        pause_us(CRAWLER_LAUNCH_GAP_US);
        start_thread(draw_border, nullptr, "a border crawler");
    }
}
