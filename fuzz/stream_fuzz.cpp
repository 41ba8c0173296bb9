// Fuzz target of the recorder's reading of the show's stream: arbitrary bytes
// fed to next_unit in pieces of random sizes, as reads from the pipe arrive,
// each unit it yields applied to the terminal, which is then drawn. The first
// four bytes seed the piece sizes; the rest is the stream.
//
// Read in one piece, the same bytes must give the same units, the same
// verdict and the same terminal: a reading that depended on where the pipe
// cut the stream would be a fault.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "stream.h"
#include "term.h"

namespace {

struct reading {
    long units = 0;
    parse_status last = parse_status::need_more;
    std::string error;
    std::size_t offset = 0;
    terminal term;
};

// Reads `stream` handed over in pieces whose sizes come from `seed` (0: all at once).
void read_stream(const std::string &stream, uint32_t seed, reading &r) {
    stream_parser ps;
    static frame_codes codes;
    std::string pending;
    std::size_t pos = 0, fed = 0;
    while (fed < stream.size()) {
        std::size_t piece = stream.size() - fed;
        if (seed) {
            seed ^= seed << 13;
            seed ^= seed >> 17;
            seed ^= seed << 5;
            // Reads of up to 8 kB, one in four of a few bytes. (A cut frame is
            // read again from its start with every piece, so many small pieces
            // would spend the time on the same bytes.)
            piece = std::min<std::size_t>(piece, 1 + (seed % 4 == 0 ? seed % 64 : seed % 8192));
        }
        pending.append(stream, fed, piece);
        fed += piece;
        for (;;) {
            unit_kind kind;
            std::size_t used = 0;
            r.last = next_unit(ps, pending.data() + pos, pending.size() - pos, kind, codes, used);
            if (r.last != parse_status::done)
                break;
            if (used == 0 || used > pending.size() - pos)
                std::abort();
            pos += used;
            r.units++;
            term_apply(r.term, kind, codes);
        }
        if (r.last == parse_status::bad)
            break;
        // What has been read goes, as in the recorder, after every piece.
        pending.erase(0, pos);
        pos = 0;
    }
    r.error = ps.error;
    r.offset = ps.offset;
}

// The picture of the terminal in a made-up font two pixels high.
void draw(const terminal &t) {
    static console_font font = [] {
        console_font f;
        f.height = 2;
        f.glyphs.assign(2 * 128, 0);
        for (int c = 0; c < 128; c++) {
            f.glyphs[2 * c] = static_cast<uint8_t>(c);
            f.glyphs[2 * c + 1] = static_cast<uint8_t>(~c);
            f.index[c] = c == '~' ? -1 : c;  // one character without a glyph
        }
        return f;
    }();
    static std::unique_ptr<uint8_t[]> rgb(new uint8_t[WIDTH * 8 * TERM_HEIGHT * 2 * 3]);
    render_rgb(t, font, rgb.get());  // a colour off the palette is a read out of bounds
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    if (size < 4)
        return 0;
    uint32_t seed;
    std::memcpy(&seed, data, 4);
    const std::string stream(reinterpret_cast<const char *>(data) + 4, size - 4);

    static reading pieces, whole;
    pieces = reading{};
    whole = reading{};
    read_stream(stream, seed | 1, pieces);
    read_stream(stream, 0, whole);
    if (pieces.units != whole.units || pieces.last != whole.last || pieces.error != whole.error ||
        pieces.offset != whole.offset || !(pieces.term == whole.term))
        std::abort();
    // The picture, for one input in 16 that reads a frame (it takes longer
    // than the reading).
    if (whole.units > 3 && (seed & 15) == 0)
        draw(whole.term);
    return 0;
}
