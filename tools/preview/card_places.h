// Where and how the show draws each of its art cards, for the preview tool and
// for the checks of the art: files "grafik/<stem><from..to>", or "grafik/<stem>"
// when from is 0. A card drawn in more than one place has a row for each; the
// first is where the preview shows it.
#pragma once

#include <span>

struct card_place {
    const char *stem;
    int from, to;
    int x, y, attr, fg, bg;
    int back_attr, back_fg, back_bg;  // the fill under it
    int buffer;                       // the buffer it is read into: it holds buffer - 1 bytes
};

extern const std::span<const card_place> CARD_PLACES;
