// The vortex scene: rings that draw in towards the centre and out again, a
// rush inwards, and the "lol" card over the last frame.
#include "effects/vortex.h"

#include <cmath>

#include "art/art.h"
#include "art/card_places.h"
#include "effects/effects.h"
#include "screen/pause.h"
#include "screen/screen.h"

int vortex_colour(int x, int y, int i, int m) {
    int dx = x - 40, dy = y - 12;
    int d = dx * dx + dy * dy + m * i;
    float b = static_cast<float>(std::sin(std::sqrt(static_cast<double>(d))));
    b = b + 1;
    // b lies in 0 to 2; where rounding lifts it to exactly 2 the cell is
    // black like the troughs.
    signed char a = static_cast<signed char>(static_cast<int>(b) % 2);
    return a;
}

void vortex_frame(int i, int m) {
    for (int y = 0; y < HEIGHT; y++)
        for (int x = 0; x < WIDTH; x++) {
            int a = vortex_colour(x, y, i, m);
            draw(x, y, 1, a, a, '#');
        }
}

void man_eating_plasma_vortex_from_hell() {
    // In and out: i climbs 0 to 35 and comes back to 0, 71 frames.
    int i = 0, c = 1;
    do {
        vortex_frame(i, VORTEX_SLOW);
        if (i == VORTEX_TURN)
            c = -1;
        i += c;
        pause_us(VORTEX_FRAME_US);
    } while (i != -1);

    // The rush inwards, in ten coarse steps.
    for (i = 0; i < VORTEX_RUSH_FRAMES; i++) {
        vortex_frame(i, VORTEX_RUSH);
        pause_us(VORTEX_FRAME_US);
    }

    // The card over the last frame; its spaces let the rings through.
    char sup[CARD_SIZE];
    load_card(PLACE_LOL, sup);
    show_card(PLACE_LOL, sup);
    pause_us(VORTEX_CARD_HOLD_US);
}
