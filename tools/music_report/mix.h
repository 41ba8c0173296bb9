// How the parts of a song sit together, as a listener hears them: the kick
// against the bass, the layers that come and go, the steps in loudness, the
// lead against every other melodic part, the lead's echo, the octave bands
// and the seam where the song comes round again.
//
// The parts are found by the names of the instruments they play: the kick
// plays an instrument named "kick", the bass one named "bass", the lead one
// named "lead" (but not "echo"), the lead's echo one named "lead echo". A
// melodic part is a channel that plays looped (pitched) samples. The song is
// read in bars of 16 rows at its starting tempo.
#pragma once

#include <xmp.h>

#include <string>
#include <vector>

#include "listen.h"

// What the mix measures keep of one channel played alone.
struct channel_study {
    std::vector<double> lufs;    // per loudness window
    std::vector<bool> sounding;  // per block: louder than the sounding floor
    std::vector<double> low;     // energy of the kick's band per millisecond
    double left = 0, right = 0;  // mean square of each side
};

constexpr double MIX_WINDOW_S = 7.5;       // the loudness windows
constexpr double SOUNDING_BLOCK_S = 0.05;  // the blocks a part sounds in or not
constexpr double SOUNDING_FLOOR_DB = -50;  // a block's RMS over this sounds
constexpr double KICK_BAND_LOW_HZ = 30, KICK_BAND_HIGH_HZ = 150;
constexpr double KICK_WINDOW_S = 0.05;  // a kick's first 50 ms, and the 50 ms before it

channel_study study_channel(const std::vector<float> &frames);

// The median of a series (0 for none), and the sum of its items [from, to),
// 0 outside it.
double median(std::vector<double> v);
double sum_of(const std::vector<double> &v, long from, long to);

// Energy of the mid signal in a band (two second-order high-passes at lo_hz,
// two low-passes at hi_hz), summed over blocks of `block_s`.
std::vector<double> band_energy(const std::vector<float> &frames, double lo_hz, double hi_hz,
                                double block_s, int rate = LISTEN_RATE);

// A note the song plays: when, on which channel, with which instrument (1-based).
struct note_event {
    double at_s = 0;
    int channel = 0;
    int instrument = 0;
    int note = 0;  // libxmp's key
};

// Every note the song plays until it loops, in time order.
std::vector<note_event> note_events(const std::string &file);

// The kick's hits: in each one's first 50 ms, how far its own energy in the
// kick's band lies over the bass's, and how far the whole mix's band rises
// from the 50 ms before. Medians over all hits, in dB.
struct kick_figures {
    int hits = 0;
    double over_bass_db = 0;
    double rise_db = 0;
};

kick_figures measure_kick(const std::vector<double> &kick_low, const std::vector<double> &bass_low,
                          const std::vector<double> &mix_low, const std::vector<double> &hits_s);

// Prints every mix measure of the song: `channels` holds each channel's study.
void print_mix(const std::string &file, const xmp_module &m, const rendering &song,
               const std::vector<channel_study> &channels);
