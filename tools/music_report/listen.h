// Listening to a module without ears: renders it through libxmp and measures
// what comes out. Used by the music report and by the module tests.
#pragma once

#include <xmp.h>

#include <complex>
#include <string>
#include <vector>

constexpr int LISTEN_RATE = 44100;
// A song that has not looped after this much music is taken as one that never will.
constexpr double MAX_SONG_S = 30 * 60;

// A second-order filter section, run sample by sample.
struct biquad {
    double b0, b1, b2, a1, a2;
    double z1 = 0, z2 = 0;

    double run(double x) {
        const double y = b0 * x + z1;
        z1 = b1 * x - a1 * y + z2;
        z2 = b2 * x - a2 * y;
        return y;
    }
};

// A libxmp context with a module loaded and, when `rate` is given, its player
// started at it, all freed on every path. `smix` readies the context to play
// instruments on their own.
struct player {
    xmp_context ctx = xmp_create_context();
    xmp_module_info info{};
    bool smix = false, loaded = false, started = false;

    explicit player(const std::string &file, int rate = 0, int format = 0, bool with_smix = false) {
        smix = with_smix && xmp_start_smix(ctx, 1, 0) == 0;
        if (with_smix && !smix)
            return;
        loaded = xmp_load_module(ctx, file.c_str()) == 0;
        if (!loaded)
            return;
        xmp_get_module_info(ctx, &info);
        started = rate > 0 && xmp_start_player(ctx, rate, format) == 0;
    }
    ~player() {
        if (started)
            xmp_end_player(ctx);
        if (loaded)
            xmp_release_module(ctx);
        if (smix)
            xmp_end_smix(ctx);
        xmp_free_context(ctx);
    }
    player(const player &) = delete;
    player &operator=(const player &) = delete;
};

// Interleaved stereo frames, -1..1.
struct rendering {
    std::vector<float> frames;
    double duration_s = 0;  // until the song first loops (or stops)
    double loop_s = -1;     // when the restart position was first reached; -1: never
    bool ok = false;
    bool too_long = false;  // the song did not loop within MAX_SONG_S
};

// Renders the song once through, up to the point where it loops. `solo` >= 0
// mutes every channel but that one. Not ok when libxmp cannot load it or it
// does not loop within MAX_SONG_S (too_long, and no frames).
// `instrument` > 0 silences every sample but that instrument's (1-based).
// Only the whole song is first checked for a loop: render the whole before a
// part (a part of a song that never loops stops at MAX_SONG_S).
rendering render_song(const std::string &file, int solo = -1, int instrument = 0);

// Renders one instrument of the module (1-based), alone, at C-4 for
// `seconds`, with its volume envelope switched off.
rendering render_instrument(const std::string &file, int instrument, double seconds);

struct level {
    double peak = 0;  // largest absolute sample
    double rms = 0;
    double dc = 0;     // the larger of the left and right means, signed
    long clipped = 0;  // samples at full scale
};

// In-place radix-2 FFT (forward, unscaled); the size must be a power of two.
void fft(std::vector<std::complex<double>> &a);

level measure_level(const std::vector<float> &frames);

// Side RMS against mid RMS, in dB (negative: side is quieter).
double stereo_width_db(const std::vector<float> &frames);

// Share of the energy in each band between neighbouring `edges` (Hz, rising;
// the last band reaches up to half the rate).
std::vector<double> band_shares(const std::vector<float> &frames, const std::vector<double> &edges,
                                int rate = LISTEN_RATE);

// The bands a whole mix is described in, and the finer ones of a drum hit
// (a kick's thump lies in 60-150 Hz, a snare's crack in 2-5 kHz).
const std::vector<double> MIX_BANDS = {0, 60, 250, 2000, 6000};
const std::vector<double> HIT_BANDS = {0, 60, 150, 250, 500, 2000, 5000};

// Loudness of each stretch of `window_s` seconds, K-weighted and summed over
// both channels as broadcast loudness is measured, in LUFS (a 997 Hz sine at
// full scale in both channels reads 0). A last stretch shorter than half a
// window is left out; silence reads -infinity.
std::vector<double> loudness_lufs(const std::vector<float> &frames, double window_s = 7.5,
                                  int rate = LISTEN_RATE);

// How long a channel plays a looped (pitched) sample away from the note
// written for it: the last note of its rows, or the target of a glide, or
// any of an arpeggio's three notes. Read from the player's period tick by tick.
struct off_pitch_stretch {
    double at_s = 0, length_s = 0;
    int note = 0;          // the written note, C-0 = 0 (C-4 is middle C)
    double cents = 0;      // the largest deviation in the stretch
    double end_cents = 0;  // the deviation at its end (where a glide stopped)
};

struct channel_pitch {
    double pitched_s = 0;  // time a looped sample sounds
    double off_s = 0;      // of that, time further than the limit from the written note
    std::vector<off_pitch_stretch> longest;  // the longest stretches off, in time order
};

std::vector<channel_pitch> off_pitch(const std::string &file, double limit_cents = 40);

// The pitch of a sound: its fundamental, the lowest strong spectral peak
// (0 when the sound has no clear peak: noise), and a second voice close to
// it, as a detuned twin makes one.
struct pitch_reading {
    double hz = 0;
    double twin_cents = 0;  // 0: no second voice within 60 cents
    double twin_db = 0;     // the twin's level against the fundamental
};

// Measured on the frames from `from_s` to `to_s`.
pitch_reading read_pitch(const std::vector<float> &frames, double from_s, double to_s,
                         int rate = LISTEN_RATE);

// An instrument of the module played alone at C-4 without its envelope,
// for up to six seconds: past its attack, while it sounds (short hits from a
// third of their length on).
pitch_reading pitch_at_c4(const std::string &file, int instrument);

// Cents from the nearest equal-tempered note (A-4 = 440 Hz), and its name ("C-4").
double cents_off_note(double hz, std::string *name = nullptr);

std::string to_db(double amplitude);
