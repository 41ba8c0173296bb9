// Wipes between scenes: diagonal bands of colour that end on a blank field.
//
// `slide` paints the interior of `screen` in cyan and blue stripes along the
// anti-diagonals (cells with equal x + y share a colour) and ends on four
// frames of solid blue; it never touches the border, where the crawlers run.
// `fillscreen` paints the whole grid, border included, in black and blue bands
// that widen frame by frame until the grid is blue.
//
// In both, the colour of a cell is the parity of sin(sqrt(n)) + 1 truncated:
// the sine and the sum are each rounded to single precision, so the value is
// 0 where the sine is negative and 1 where it is zero or positive.
#include "effects/slide.h"

#include <cmath>

#include "effects/effects.h"
#include "screen/pause.h"
#include "screen/screen.h"

namespace {

// Parity of sin(root) + 1 truncated toward zero, with the single-precision
// roundings of the band formula. A root that is not a number (the 0 / 0 of the
// first `fillscreen` frame) or infinite has no sine; such a cell counts as
// even, so that the first `fillscreen` frame is wholly black.
int band(double root) {
    float sine = static_cast<float>(std::sin(root));
    float b = static_cast<float>(sine + 1.0);
    if (!std::isfinite(b))
        return 0;
    int v = static_cast<int>(b);
    return v % 2;
}

}  // namespace

int slide_colour(int x, int y, int i) {
    int k = 20 / i;
    int n = (x + y + i) * k;
    char a = static_cast<char>(band(std::sqrt(static_cast<double>(n))));
    return a == 0 ? 6 : 4;
}

void slide_frame(int i) {
    for (int y = 1; y <= HEIGHT - 2; y++)
        for (int x = 1; x <= WIDTH - 2; x++) {
            int colour = slide_colour(x, y, i);
            draw(x, y, 1, colour, colour, ' ');
        }
}

void slide() {
    for (int i = 1; i <= SLIDE_FRAMES; i++) {
        slide_frame(i);
        pause_us(SLIDE_FRAME_US);
    }
}

int fillscreen_colour(int x, int y, float d) {
    int n = (x + y) * 10;
    // Single-precision quotient; with d = 0 it is infinite, or not a number at (0, 0).
    float q = static_cast<float>(n) / (4 * d);
    int a = band(std::sqrt(static_cast<double>(q)));
    return a == 1 ? 4 : 0;
}

void fillscreen_frame(float d) {
    for (int y = 0; y < HEIGHT; y++)
        for (int x = 0; x < WIDTH; x++) {
            int colour = fillscreen_colour(x, y, d);
            draw(x, y, 1, colour, colour, ' ');
        }
}

void fillscreen() {
    for (float d = 0; d < FILLSCREEN_FRAMES; d = static_cast<float>(d + 1.0)) {
        fillscreen_frame(d);
        pause_us(FILLSCREEN_FRAME_US);
    }
}
