// Lays a song out as the bytes of an XM module (version 1.04, linear
// frequency table). Every size field is computed from the bytes actually
// written, since players trust them blindly.
#include <cstdio>

#include "score.h"

namespace {

// The most samples a module holds, all instruments together: 16 MB of 16-bit
// data, some fifty times the show's theme. Each instrument may ask for two
// million, so without a limit a page of score would ask for gigabytes.
constexpr std::size_t MAX_MODULE_SAMPLES = std::size_t{1} << 23;

// The bytes written so far; XM stores its numbers little-endian.
using bytes = std::vector<uint8_t>;

void u8(bytes &o, unsigned v) { o.push_back(static_cast<uint8_t>(v)); }
void u16(bytes &o, unsigned v) {
    u8(o, v & 0xff);
    u8(o, (v >> 8) & 0xff);
}
void u32(bytes &o, uint32_t v) {
    u16(o, v & 0xffff);
    u16(o, v >> 16);
}
void text(bytes &o, const std::string &s, std::size_t width) {
    for (std::size_t i = 0; i < width; i++)
        u8(o, i < s.size() ? static_cast<unsigned char>(s[i]) : 0);
}
void zeros(bytes &o, std::size_t n) { o.insert(o.end(), n, 0); }
void patch_u16(bytes &o, std::size_t at, unsigned v) {
    o[at] = v & 0xff;
    o[at + 1] = (v >> 8) & 0xff;
}
void patch_u32(bytes &o, std::size_t at, uint32_t v) {
    patch_u16(o, at, v & 0xffff);
    patch_u16(o, at + 2, v >> 16);
}

void write_header(bytes &o, const song &piece, int instruments) {
    text(o, "Extended Module: ", 17);
    text(o, piece.title, 20);
    u8(o, 0x1a);
    text(o, "xmc", 20);
    u16(o, 0x0104);
    std::size_t size_at = o.size();
    u32(o, 0);
    u16(o, static_cast<unsigned>(piece.order.size()));
    u16(o, static_cast<unsigned>(piece.restart));
    u16(o, static_cast<unsigned>(piece.channels));
    u16(o, static_cast<unsigned>(piece.patterns.size()));
    u16(o, static_cast<unsigned>(instruments));
    u16(o, 1);  // linear frequency table
    u16(o, static_cast<unsigned>(piece.speed));
    u16(o, static_cast<unsigned>(piece.bpm));
    for (std::size_t i = 0; i < 256; i++)
        u8(o, i < piece.order.size() ? piece.order[i] : 0);
    patch_u32(o, size_at, static_cast<uint32_t>(o.size() - size_at));
}

// Packed cells: a flag byte (0x80 plus one bit per field present), then the fields present.
void write_pattern(bytes &o, const pattern &p, int channels) {
    u32(o, 9);
    u8(o, 0);
    u16(o, static_cast<unsigned>(p.rows));
    std::size_t size_at = o.size();
    u16(o, 0);
    std::size_t start = o.size();
    for (int r = 0; r < p.rows; r++) {
        for (int ch = 0; ch < channels; ch++) {
            const cell &c = p.cells[static_cast<std::size_t>(r) * channels + ch];
            unsigned flags = 0x80 | (c.note ? 1 : 0) | (c.instrument ? 2 : 0) | (c.volume ? 4 : 0) |
                             (c.effect ? 8 : 0) | (c.param ? 16 : 0);
            u8(o, flags);
            if (c.note)
                u8(o, c.note);
            if (c.instrument)
                u8(o, c.instrument);
            if (c.volume)
                u8(o, c.volume);
            if (c.effect)
                u8(o, c.effect);
            if (c.param)
                u8(o, c.param);
        }
    }
    std::size_t packed = o.size() - start;
    if (packed > 0xffff)
        throw score_error{0, "pattern '" + p.name + "' is too large to pack"};
    patch_u16(o, size_at, static_cast<unsigned>(packed));
}

void write_empty_instrument(bytes &o) {
    u32(o, 29);
    zeros(o, 22);
    u8(o, 0);
    u16(o, 0);
}

// The relative notes an XM sample can carry; one outside them is silent in players.
constexpr int LOWEST_RELNOTE = -96, HIGHEST_RELNOTE = 95;

// The sample's pitch must fit the module's relative notes.
void check_relnote(const instrument &ins, const sample &s) {
    if (s.relnote >= LOWEST_RELNOTE && s.relnote <= HIGHEST_RELNOTE)
        return;
    char what[160];
    std::snprintf(what, sizeof what,
                  "instrument %02X would play C-4 at a relative note of %d, outside the "
                  "module's %d..%d (a shorter cycle or a lower relnote)",
                  ins.number, s.relnote, LOWEST_RELNOTE, HIGHEST_RELNOTE);
    throw score_error{ins.line, what};
}

// The instrument header: its name, one sample for every note, the volume
// envelope and the vibrato, with its own size first.
void write_instrument_header(bytes &o, const instrument &ins) {
    std::size_t start = o.size();
    u32(o, 0);
    text(o, ins.name, 22);
    u8(o, 0);
    u16(o, 1);     // one sample
    u32(o, 40);    // sample header size
    zeros(o, 96);  // every note plays sample 0
    for (int i = 0; i < 12; i++) {
        if (i < static_cast<int>(ins.envelope.size())) {
            u16(o, static_cast<unsigned>(ins.envelope[i].tick));
            u16(o, static_cast<unsigned>(ins.envelope[i].value));
        } else {
            u32(o, 0);
        }
    }
    zeros(o, 48);  // no panning envelope
    const bool env = !ins.envelope.empty();
    u8(o, static_cast<unsigned>(ins.envelope.size()));
    u8(o, 0);
    u8(o, ins.sustain >= 0 ? ins.sustain : 0);
    u8(o, ins.loop_start >= 0 ? ins.loop_start : 0);
    u8(o, ins.loop_end >= 0 ? ins.loop_end : 0);
    zeros(o, 3);
    u8(o, env ? (1 | (ins.sustain >= 0 ? 2 : 0) | (ins.loop_start >= 0 ? 4 : 0)) : 0);
    u8(o, 0);
    u8(o, 0);  // vibrato waveform: sine
    u8(o, static_cast<unsigned>(ins.vib_sweep));
    u8(o, static_cast<unsigned>(ins.vib_depth));
    u8(o, static_cast<unsigned>(ins.vib_rate));
    u16(o, static_cast<unsigned>(ins.fadeout));
    zeros(o, 22);
    patch_u32(o, start, static_cast<uint32_t>(o.size() - start));
}

// The sample header: lengths in bytes, volume, tuning, loop and panning.
void write_sample_header(bytes &o, const instrument &ins, const sample &s, unsigned width) {
    u32(o, static_cast<uint32_t>(s.data.size() * width));
    u32(o, s.loop_start * width);
    u32(o, s.loop ? s.loop_length * width : 0);
    u8(o, static_cast<unsigned>(ins.volume));
    u8(o, static_cast<uint8_t>(static_cast<int8_t>(s.finetune)));
    u8(o, (s.loop ? 1 : 0) | (width == 2 ? 16 : 0));
    u8(o, static_cast<unsigned>(ins.pan + 128));
    u8(o, static_cast<uint8_t>(static_cast<int8_t>(s.relnote)));
    u8(o, 0);
    text(o, ins.name, 22);
}

// Sample data, each value stored as the difference to the one before.
void write_sample_data(bytes &o, const sample &s, bool wide) {
    if (wide) {
        int16_t prev = 0;
        for (int16_t v : s.data) {
            u16(o, static_cast<uint16_t>(static_cast<int16_t>(v - prev)));
            prev = v;
        }
    } else {
        int8_t prev = 0;
        for (int16_t v16 : s.data) {
            int8_t v = static_cast<int8_t>(v16 >> 8);
            u8(o, static_cast<uint8_t>(static_cast<int8_t>(v - prev)));
            prev = v;
        }
    }
}

// An instrument with its one synthesized sample; returns the sample's length.
std::size_t write_instrument(bytes &o, const instrument &ins) {
    const sample s = synthesize(ins);
    check_relnote(ins, s);
    const bool wide = ins.bits == 16;
    write_instrument_header(o, ins);
    write_sample_header(o, ins, s, wide ? 2 : 1);
    write_sample_data(o, s, wide);
    return s.data.size();
}

}  // namespace

bool write_xm(const song &piece, std::vector<uint8_t> &out, score_error &error) {
    bytes o;
    const int count = piece.instruments.empty() ? 0 : piece.instruments.back().number;
    try {
        write_header(o, piece, count);
        for (const pattern &p : piece.patterns)
            write_pattern(o, p, piece.channels);
        std::size_t next = 0, samples = 0;
        for (int n = 1; n <= count; n++) {
            if (next < piece.instruments.size() && piece.instruments[next].number == n) {
                const instrument &ins = piece.instruments[next++];
                samples += write_instrument(o, ins);
                if (samples > MAX_MODULE_SAMPLES)
                    throw score_error{ins.line, "the samples pass the module's limit of " +
                                                    std::to_string(MAX_MODULE_SAMPLES) +
                                                    " (16 MB)"};
            } else {
                write_empty_instrument(o);
            }
        }
    } catch (const score_error &e) {
        error = e;
        return false;
    }
    out = std::move(o);
    return true;
}

bool compile_score(const std::string &text, std::vector<uint8_t> &out, score_error &error) {
    song piece;
    if (!parse_score(text, piece, error))
        return false;
    const std::vector<score_error> faults = check_tuning(piece);
    if (!faults.empty()) {
        error = faults.front();
        return false;
    }
    return write_xm(piece, out, error);
}
