// Wipes between scenes: diagonal bands of colour that end on a blank field.
//
// `slide` paints the interior of `screen` in cyan and blue stripes along the
// anti-diagonals (cells with equal x + y share a colour) and ends on four
// frames of solid blue; it never touches the border, where the crawlers run.
//
// The colour of a cell is the parity of sin(sqrt(n)) + 1 truncated:
// the sine and the sum are each rounded to single precision, so the value is
// 0 where the sine is negative and 1 where it is zero or positive.
#include "effects/slide.h"

#include <cmath>

#include "effects/effects.h"
#include "screen/pause.h"
#include "screen/screen.h"

namespace {

// Parity of sin(root) + 1 truncated toward zero, with the single-precision
// roundings of the band formula.
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
