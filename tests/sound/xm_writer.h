// A tiny XM writer for the sound tests: one channel, one pattern, one looped
// sine instrument. Enough to give the player something with a known pitch.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct tune {
    std::vector<uint8_t> notes;   // one per row: 0 none, 49 C-4, 73 C-6 ...
    int speed = 6;                // ticks per row
    int bpm = 125;
    int amplitude = 100;          // peak of the 8-bit sine, 1..127
};

// Writes the tune as an XM module; false when the file cannot be written.
bool write_xm(const std::string &path, const tune &t);
