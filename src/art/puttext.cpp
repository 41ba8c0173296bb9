// Big words: one short word in the glyph font across the middle of the screen.
#include "art/art.h"

#include <cstring>

#include "screen/pause.h"
#include "screen/screen.h"

void puttext(const char *s, long hold_us) {
    const int length = static_cast<int>(std::strlen(s));
    const int space = 9;  // columns from one glyph to the next
    for (int x = 0; x < length; x++) {
        // A space, or any byte without a glyph, keeps its place but draws nothing.
        const char *g = glyph(s[x]);
        if (g)
            mutta(x * space - (length * space) / 2 + 37, 7, 1, 7, 7, g);
    }
    pause_us(hold_us);
}
