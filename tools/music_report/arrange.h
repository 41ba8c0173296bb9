// How a song is arranged, read from the notes it plays bar by bar: where the
// drop lands, what the kick gives a small speaker, how the bass moves, how
// the lead develops and how the groove changes.
//
// The parts are found by instrument name as in mix.h; besides the kick,
// bass, lead and echo, the snare plays an instrument named "snare" and the
// toms one named "tom". A bar is 16 rows, a beat 4.
#pragma once

#include <xmp.h>

#include <string>
#include <vector>

#include "listen.h"
#include "mix.h"

constexpr int BAR_ROWS = 16, BEAT_ROWS = 4;

// What plays in each bar: the rows (0-15) the drums strike on, the lead's
// notes, and how many notes each channel strikes.
struct bar_notes {
    std::vector<int> kick, snare, toms;
    std::vector<std::pair<int, int>> lead;  // row, note
    std::vector<int> struck;                // per channel
};

// The song bar by bar. Half-bar roots are the bass's pitch class (0 = C)
// that sounds longest in each half of a bar, -1 where the bass is silent.
struct song_bars {
    double bar_s = 0;
    std::vector<bar_notes> bars;
    std::vector<int> roots;  // two a bar
    int lead = -1, echo = -1, bass = -1;
    std::vector<bool> melodic;  // per channel: plays looped (pitched) samples
};

song_bars read_bars(const xmp_module &m, const std::vector<note_event> &notes, double duration_s);

// The bass's harmony: the four-bar sequence of half-bar roots (the same
// under transposition) that covers the most bars, and the bars whose two
// halves have different roots.
struct harmony_figures {
    int bars_with_bass = 0, covered = 0, first_bar = -1;  // of the commonest sequence
    int two_chords = 0;
};

harmony_figures measure_harmony(const std::vector<int> &roots);

// The lead bar by bar: `sounding` marks the bars it sounds in for at least
// half their length. Repeats are bars whose notes (rows and intervals) an
// earlier bar already played, transposed or not.
struct lead_figures {
    int bars = 0, striking = 0, late = 0, repeats = 0, longest_run = 0;
    int rests = 0, answered = 0;  // rests after a run, those another voice fills
};

lead_figures measure_lead(const song_bars &s, const std::vector<bool> &sounding);

// Prints the arrangement block. `channels` holds each channel's study, `kick`
// the kick's rendering alone (empty without a kick).
void print_arrangement(const xmp_module &m, const rendering &song, const rendering &kick,
                       const std::vector<note_event> &notes,
                       const std::vector<channel_study> &channels);
