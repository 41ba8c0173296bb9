#include "xm_writer.h"

#include <cmath>
#include <cstdio>

namespace {

struct bytes {
    std::vector<uint8_t> b;
    void u8(int v) { b.push_back(static_cast<uint8_t>(v)); }
    void u16(int v) { u8(v & 0xff); u8((v >> 8) & 0xff); }
    void u32(uint32_t v) { u16(v & 0xffff); u16(v >> 16); }
    void text(const char *s, size_t width)
    {
        for (size_t i = 0; i < width; i++) u8(*s ? *s++ : 0);
    }
    void zeros(size_t n) { b.insert(b.end(), n, 0); }
};

constexpr int sample_len = 32;   // one sine cycle: C-4 sounds at 8363/32 Hz

} // namespace

bool write_xm(const std::string &path, const tune &t)
{
    bytes x;
    const int rows = static_cast<int>(t.notes.size());

    x.text("Extended Module: ", 17);
    x.text("sound test", 20);
    x.u8(0x1a);
    x.text("sound tests", 20);
    x.u16(0x0104);
    x.u32(276);                  // header size: itself, ten words, the order table
    x.u16(1);                    // song length
    x.u16(0);                    // restart position
    x.u16(2);                    // channels: the tune in the first, the second empty
    x.u16(1);                    // patterns
    x.u16(1);                    // instruments
    x.u16(1);                    // linear frequency table
    x.u16(t.speed);
    x.u16(t.bpm);
    x.zeros(256);                // order table: pattern 0

    bytes cells;
    for (uint8_t n : t.notes) {
        if (n) {
            cells.u8(0x80 | 0x01 | 0x02);
            cells.u8(n);
            cells.u8(1);
        } else {
            cells.u8(0x80);
        }
        cells.u8(0x80);
    }
    x.u32(9);
    x.u8(0);
    x.u16(rows);
    x.u16(static_cast<int>(cells.b.size()));
    x.b.insert(x.b.end(), cells.b.begin(), cells.b.end());

    x.u32(263);                  // instrument header with samples
    x.text("sine", 22);
    x.u8(0);
    x.u16(1);                    // samples
    x.u32(40);                   // sample header size
    x.zeros(96);                 // every key plays sample 0
    x.zeros(48 + 48);            // envelopes unused
    x.zeros(10);                 // point counts, sustain, loops, types: off
    x.zeros(4);                  // vibrato off
    x.u16(0);                    // fadeout
    x.zeros(22);

    x.u32(sample_len);
    x.u32(0);                    // loop start
    x.u32(sample_len);           // loop length
    x.u8(64);                    // volume
    x.u8(0);                     // finetune
    x.u8(1);                     // forward loop, 8-bit
    x.u8(128);                   // panning: centre
    x.u8(0);                     // relative note
    x.u8(0);
    x.text("sine", 22);

    int prev = 0;
    for (int i = 0; i < sample_len; i++) {
        int v = static_cast<int>(std::lround(t.amplitude * std::sin(2 * M_PI * i / sample_len)));
        x.u8(v - prev);          // delta-encoded
        prev = v;
    }

    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(x.b.data(), 1, x.b.size(), f) == x.b.size();
    return std::fclose(f) == 0 && ok;
}
