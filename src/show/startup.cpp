#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <utility>

#include "art/art.h"
#include "screen/pause.h"
#include "screen/render.h"
#include "screen/screen.h"
#include "screen/thread.h"
#include "show/show.h"
#include "sound_rate.h"
#include "stream_format.h"

FMUSIC_MODULE *mod;
FMUSIC_MODULE *knark;

namespace {
// Plain colours and the cursor shown again, for a show that ends before it plays.
constexpr char SHOW_CURSOR_AND_COLOURS[] = "\033[0m\033[?25h";
}  // namespace

void blank_screen() { fill(1, 7, 4, ' '); }

int start_sound() {
    if (FSOUND_GetVersion() < 3.75f) {
        printf("ARGH! fel version av fmod\n");
        return 1;
    }
    if (!FSOUND_Init(SOUND_SHOW_RATE, 64, 0)) {
        // The show's own word first, then why.
        printf("INIT SOUND error\ndemo: %s\n", sound_last_error());
        return 1;
    }
    for (auto [to, name] : {std::pair{&mod, "vorbel.xm"}, std::pair{&knark, "knark.xm"}}) {
        *to = FMUSIC_LoadSong(name);
        if (!*to) {
            // The show's own word first, then which file and why.
            printf("Loadsong error\ndemo: cannot load %s: %s\n", name, sound_last_error());
            return 1;
        }
    }
    return 0;
}

int start_screen() {
    setvbuf(stdout, nullptr, _IONBF, 0);
    print_screen();
    srand(static_cast<unsigned>(time(nullptr)));
    fputs(RESET, stdout);
    fputs(HIDE_CURSOR, stdout);
    fill(0, 7, 0, ' ');

    // Without the render thread the show would play to nobody and still end
    // with status 0: say why and let the caller end it.
    if (int err = start_render()) {
        // The terminal gets its cursor and colours back.
        fputs(SHOW_CURSOR_AND_COLOURS, stdout);
        fprintf(stderr, "demo: cannot start the render thread: %s\n", strerror(err));
        FMUSIC_FreeSong(mod);
        FMUSIC_FreeSong(knark);
        FSOUND_Close();
        return 1;
    }

    fill(0, 2, 0, ' ');
    load_font();
    fill(1, 7, 0, ' ');
    print_screen();
    fill(1, 7, 4, ' ');
    return 0;
}

// The fade lowers the master volume by FADE_STEP every FADE_STEP_US.
constexpr int FADE_STEP = 10;
constexpr long FADE_STEP_US = 100000;

void fade_out() {
    int v = FMUSIC_GetMasterVolume(mod);
    while (v >= 0) {
        v -= FADE_STEP;
        FMUSIC_SetMasterVolume(mod, v);
        pause_us(FADE_STEP_US);
    }
}

void end_show() {
    fade_out();
    FMUSIC_FreeSong(mod);
    FSOUND_Close();
    // The last frame goes out whole: the terminal is not left inside an escape.
    stop_render();
    // Then what the show had to do without: art it could not load (drawn as
    // nothing) and threads it could not start. A show that lacked one of its
    // threads did not play as it should.
    say_art_problems(stderr, "demo");
    exit(say_thread_problems(stderr, "demo") > 0 ? 1 : 0);
}
