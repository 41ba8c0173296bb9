// Fuzz target of the compact cast: two terminals made from the input, the
// bytes cast_frame_delta writes to take the first to the second, and their
// replay, which must show the second: the same characters, colours and cursor. The input's last
// bytes are then replayed as they are, as a player would read any cast.
//
// The terminals are ones the show's stream can leave: cells of printable
// characters in colours 0 to 15 or the defaults, the cursor anywhere, a
// pending wrap only in the last column. The second starts as a copy of the
// first, so most cells stay as they were, as between two frames.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "cast.h"
#include "term.h"

namespace {

pen take_pen(FuzzedDataProvider &in) {
    pen p;
    p.bold = in.ConsumeBool();
    p.overline = in.ConsumeBool();
    p.fg = in.ConsumeIntegralInRange(-1, 15);
    p.bg = in.ConsumeIntegralInRange(-1, 15);
    return p;
}

// Runs of cells of one character and pen, then the cursor and the pen.
void paint(FuzzedDataProvider &in, terminal &t) {
    const int runs = in.ConsumeIntegralInRange(0, 24);
    for (int r = 0; r < runs; r++) {
        int at = in.ConsumeIntegralInRange(0, TERM_HEIGHT * WIDTH - 1);
        int length = in.ConsumeIntegralInRange(1, 2 * WIDTH);
        term_cell c{in.ConsumeIntegralInRange<unsigned char>(0x20, 0x7e), take_pen(in)};
        for (int k = at; k < at + length && k < TERM_HEIGHT * WIDTH; k++)
            t.cells[k / WIDTH][k % WIDTH] = c;
    }
    t.row = in.ConsumeIntegralInRange(0, TERM_HEIGHT - 1);
    t.col = in.ConsumeIntegralInRange(0, WIDTH - 1);
    t.wrap_pending = t.col == WIDTH - 1 && in.ConsumeBool();
    t.now = take_pen(in);
}

// The same picture and cursor: each cell and the pen looking the same (ink,
// paper and overline; bold default ink is bold white), as the cast is meant to.
bool same(const terminal &a, const terminal &b) {
    auto looks = [](const pen &x, const pen &y) {
        return ink_of(x) == ink_of(y) && paper_of(x) == paper_of(y) && x.overline == y.overline;
    };
    for (int y = 0; y < TERM_HEIGHT; y++)
        for (int x = 0; x < WIDTH; x++)
            if (a.cells[y][x].ch != b.cells[y][x].ch ||
                !looks(a.cells[y][x].look, b.cells[y][x].look))
                return false;
    return a.row == b.row && a.col == b.col && a.wrap_pending == b.wrap_pending &&
           looks(a.now, b.now);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    static terminal before, after, replayed;
    before = terminal{};
    paint(in, before);
    after = before;
    paint(in, after);

    const std::string delta = cast_frame_delta(before, after);
    replayed = before;
    cast_replay(replayed, delta);
    if (!same(replayed, after))
        std::abort();

    // Any bytes at all: the cursor stays on the screen and the pen in the palette.
    cast_replay(replayed, in.ConsumeRemainingBytesAsString());
    const pen &p = replayed.now;
    if (replayed.row < 0 || replayed.row >= TERM_HEIGHT || replayed.col < 0 ||
        replayed.col >= WIDTH || p.fg < -1 || p.fg > 15 || p.bg < -1 || p.bg > 15)
        std::abort();
    return 0;
}
