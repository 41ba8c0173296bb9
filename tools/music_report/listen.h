// Listening to a module without ears: renders it through libxmp and measures
// what comes out. Used by the music report and by the module tests.
#pragma once

#include <array>
#include <string>
#include <vector>

constexpr int LISTEN_RATE = 44100;

// Interleaved stereo frames, -1..1.
struct rendering {
    std::vector<float> frames;
    double duration_s = 0;  // until the song first loops (or stops)
    double loop_s = -1;     // when the restart position was first reached; -1: never
    bool ok = false;
};

// Renders the song once through, up to the point where it loops. `solo` >= 0
// mutes every channel but that one.
rendering render_song(const std::string &file, int solo = -1);

// Renders one instrument of the module (1-based), alone, at C-4 for
// `seconds`, with its volume envelope switched off.
rendering render_instrument(const std::string &file, int instrument, double seconds);

struct level {
    double peak = 0;  // largest absolute sample
    double rms = 0;
    double dc = 0;     // the larger of the left and right means, signed
    long clipped = 0;  // samples at full scale
};

level measure_level(const std::vector<float> &frames);

// Side RMS against mid RMS, in dB (negative: side is quieter).
double stereo_width_db(const std::vector<float> &frames);

// Share of the energy below 60 Hz, 60-250 Hz, 250 Hz-2 kHz, 2-6 kHz, above 6 kHz.
std::array<double, 5> band_shares(const std::vector<float> &frames, int rate = LISTEN_RATE);

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
