// Sine scroller: a line of text in the glyph font moving right to left along a
// sine curve that stands still on the screen.
//
// The text is laid out on a wide canvas of character codes, `plane`; the
// screen shows a fixed window 80 columns wide of it. Every frame the text is
// laid out 2 columns further left, so it passes through the window at 2
// columns a frame. Character i (from 1) goes into canvas column start + 12 i,
// row 12 + offset, where offset = 3.1 sin(0.2 column) truncated (-3 to 3);
// the window is canvas columns 15 n + 40 to 15 n + 119 for a text of n
// characters, and canvas row r is screen row r - 5.
#include "art/art.h"

#include <cmath>
#include <cstring>

#include "screen/pause.h"
#include "screen/screen.h"

namespace {
// Too large for the stack of a small thread; the scroller is not reentrant.
int plane[SCROLL_CANVAS][HEIGHT];
}  // namespace

void scroll_clear() { std::memset(plane, 0, sizeof plane); }

int scroll_frame(const char *s, long chars, long start, scroll_glyph out[SCROLL_MAX_GLYPHS]) {
    // Lay out. Cells of earlier frames are not cleared here; only the window
    // is ever read, and reading clears it. A column off the canvas is skipped,
    // so an overlong text is clipped rather than written past the canvas.
    for (long i = 1; i <= chars; i++) {
        long column = start + 12 * i;
        if (column >= SCROLL_CANVAS)
            break;
        if (column < 0)
            continue;
        int offset = static_cast<int>(3.1 * std::sin(0.2 * static_cast<double>(column)));
        plane[column][12 + offset] = s[i - 1];
    }

    // Read the window left to right, each column top to bottom.
    const long window = 15 * chars + 40;
    int n = 0;
    for (long column = window; column < window + WIDTH; column++) {
        if (column < 0)
            continue;
        if (column >= SCROLL_CANVAS)
            break;
        for (int row = 0; row < HEIGHT; row++) {
            int &cell = plane[column][row];
            if (cell == 0)
                continue;
            if (n < SCROLL_MAX_GLYPHS)
                out[n++] = {static_cast<int>(column - window), row - 5, static_cast<char>(cell)};
            cell = 0;
        }
    }
    return n;
}

void scrolla(const char *s) {
    const long chars = static_cast<long>(std::strlen(s));
    scroll_clear();
    scroll_glyph frame[SCROLL_MAX_GLYPHS];
    for (long start = 15 * chars + 120; 2 * chars + 120 < start; start -= 2) {
        int n = scroll_frame(s, chars, start, frame);
        newfill(1, 7, 4, ' ');
        // Left to right, so where two glyphs overlap the right one wins.
        for (int k = 0; k < n; k++)
            if (const char *g = glyph(frame[k].c))
                mutta(frame[k].x, frame[k].y, 1, 7, 7, g);
        pause_us(40000);
    }
}
