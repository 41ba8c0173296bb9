// How notes are named, as the scores write them and the music report prints
// them: the one table of names, shared by the compiler and the report.
#pragma once

#include <string>

// The twelve names of an octave from C, each two characters ("C-", "C#").
constexpr const char *NOTE_NAMES[12] = {"C-", "C#", "D-", "D#", "E-", "F-",
                                        "F#", "G-", "G#", "A-", "A#", "B-"};

// A note counted in semitones from C-0, by name and octave: 48 is "C-4", middle C.
inline std::string note_name(int semitones) {
    const int octave = semitones >= 0 ? semitones / 12 : (semitones - 11) / 12;
    return NOTE_NAMES[semitones - 12 * octave] + std::to_string(octave);
}
