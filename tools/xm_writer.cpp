// Lays a Song out as the bytes of an XM module (version 1.04, linear
// frequency table). Every size field is computed from the bytes actually
// written, since players trust them blindly.
#include <cstring>

#include "score.hpp"

namespace xmc {
namespace {

class Out {
public:
    void u8(unsigned v) { bytes.push_back(static_cast<uint8_t>(v)); }
    void u16(unsigned v) { u8(v & 0xff); u8((v >> 8) & 0xff); }
    void u32(uint32_t v) { u16(v & 0xffff); u16(v >> 16); }
    void text(const std::string& s, size_t width) {
        for (size_t i = 0; i < width; ++i) u8(i < s.size() ? static_cast<unsigned char>(s[i]) : 0);
    }
    void zeros(size_t n) { bytes.insert(bytes.end(), n, 0); }
    void patch_u16(size_t at, unsigned v) { bytes[at] = v & 0xff; bytes[at + 1] = (v >> 8) & 0xff; }
    void patch_u32(size_t at, uint32_t v) { patch_u16(at, v & 0xffff); patch_u16(at + 2, v >> 16); }
    size_t size() const { return bytes.size(); }

    std::vector<uint8_t> bytes;
};

void write_header(Out& o, const Song& song, int instruments) {
    o.text("Extended Module: ", 17);
    o.text(song.title, 20);
    o.u8(0x1a);
    o.text("xmc", 20);
    o.u16(0x0104);
    size_t size_at = o.size();
    o.u32(0);
    o.u16(static_cast<unsigned>(song.order.size()));
    o.u16(static_cast<unsigned>(song.restart));
    o.u16(static_cast<unsigned>(song.channels));
    o.u16(static_cast<unsigned>(song.patterns.size()));
    o.u16(static_cast<unsigned>(instruments));
    o.u16(1);  // linear frequency table
    o.u16(static_cast<unsigned>(song.speed));
    o.u16(static_cast<unsigned>(song.bpm));
    for (size_t i = 0; i < 256; ++i) o.u8(i < song.order.size() ? song.order[i] : 0);
    o.patch_u32(size_at, static_cast<uint32_t>(o.size() - size_at));
}

// Packed cells: a flag byte (0x80 plus one bit per field present), then the fields present.
void write_pattern(Out& o, const Pattern& p, int channels) {
    o.u32(9);
    o.u8(0);
    o.u16(static_cast<unsigned>(p.rows));
    size_t size_at = o.size();
    o.u16(0);
    size_t start = o.size();
    for (int r = 0; r < p.rows; ++r) {
        for (int ch = 0; ch < channels; ++ch) {
            const Cell& c = p.cells[static_cast<size_t>(r) * channels + ch];
            unsigned flags = 0x80 | (c.note ? 1 : 0) | (c.instrument ? 2 : 0) | (c.volume ? 4 : 0) |
                             (c.effect ? 8 : 0) | (c.param ? 16 : 0);
            o.u8(flags);
            if (c.note) o.u8(c.note);
            if (c.instrument) o.u8(c.instrument);
            if (c.volume) o.u8(c.volume);
            if (c.effect) o.u8(c.effect);
            if (c.param) o.u8(c.param);
        }
    }
    size_t packed = o.size() - start;
    if (packed > 0xffff) throw ScoreError(0, "pattern '" + p.name + "' is too large to pack");
    o.patch_u16(size_at, static_cast<unsigned>(packed));
}

void write_empty_instrument(Out& o) {
    o.u32(29);
    o.zeros(22);
    o.u8(0);
    o.u16(0);
}

void write_instrument(Out& o, const Instrument& ins) {
    const Sample s = synthesize(ins);
    const bool wide = ins.bits == 16;
    const unsigned width = wide ? 2 : 1;

    size_t start = o.size();
    o.u32(0);
    o.text(ins.name, 22);
    o.u8(0);
    o.u16(1);       // one sample
    o.u32(40);      // sample header size
    o.zeros(96);    // every note plays sample 0
    for (int i = 0; i < 12; ++i) {
        if (i < static_cast<int>(ins.envelope.size())) {
            o.u16(static_cast<unsigned>(ins.envelope[i].tick));
            o.u16(static_cast<unsigned>(ins.envelope[i].value));
        } else {
            o.u32(0);
        }
    }
    o.zeros(48);    // no panning envelope
    const bool env = !ins.envelope.empty();
    o.u8(static_cast<unsigned>(ins.envelope.size()));
    o.u8(0);
    o.u8(ins.sustain >= 0 ? ins.sustain : 0);
    o.u8(ins.loop_start >= 0 ? ins.loop_start : 0);
    o.u8(ins.loop_end >= 0 ? ins.loop_end : 0);
    o.zeros(3);
    o.u8(env ? (1 | (ins.sustain >= 0 ? 2 : 0) | (ins.loop_start >= 0 ? 4 : 0)) : 0);
    o.u8(0);
    o.u8(0);        // vibrato waveform: sine
    o.u8(static_cast<unsigned>(ins.vib_sweep));
    o.u8(static_cast<unsigned>(ins.vib_depth));
    o.u8(static_cast<unsigned>(ins.vib_rate));
    o.u16(static_cast<unsigned>(ins.fadeout));
    o.zeros(22);
    o.patch_u32(start, static_cast<uint32_t>(o.size() - start));

    // Sample header: lengths in bytes.
    o.u32(static_cast<uint32_t>(s.data.size() * width));
    o.u32(s.loop_start * width);
    o.u32(s.loop ? s.loop_length * width : 0);
    o.u8(static_cast<unsigned>(ins.volume));
    o.u8(static_cast<uint8_t>(static_cast<int8_t>(s.finetune)));
    o.u8((s.loop ? 1 : 0) | (wide ? 16 : 0));
    o.u8(static_cast<unsigned>(ins.pan + 128));
    o.u8(static_cast<uint8_t>(static_cast<int8_t>(s.relnote)));
    o.u8(0);
    o.text(ins.name, 22);

    // Sample data, each value stored as the difference to the one before.
    if (wide) {
        int16_t prev = 0;
        for (int16_t v : s.data) {
            o.u16(static_cast<uint16_t>(static_cast<int16_t>(v - prev)));
            prev = v;
        }
    } else {
        int8_t prev = 0;
        for (int16_t v16 : s.data) {
            int8_t v = static_cast<int8_t>(v16 >> 8);
            o.u8(static_cast<uint8_t>(static_cast<int8_t>(v - prev)));
            prev = v;
        }
    }
}

}  // namespace

std::vector<uint8_t> write_xm(const Song& song) {
    Out o;
    int count = song.instruments.empty() ? 0 : song.instruments.back().number;
    write_header(o, song, count);
    for (const Pattern& p : song.patterns) write_pattern(o, p, song.channels);
    size_t next = 0;
    for (int n = 1; n <= count; ++n) {
        if (next < song.instruments.size() && song.instruments[next].number == n) write_instrument(o, song.instruments[next++]);
        else write_empty_instrument(o);
    }
    return o.bytes;
}

std::vector<uint8_t> compile_score(const std::string& text) { return write_xm(parse_score(text)); }

}  // namespace xmc
