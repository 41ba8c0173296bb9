// The closing plasma: 150 frames of "#" blocks coloured by two interfering
// sine terms, one drifting with a phase that grows by 1.8 a frame, one
// jittering with the frame number.
#include "effects/plasma_attack.h"

#include <cmath>
#include <cstdlib>
#include <ctime>

#include "effects/effects.h"
#include "screen/pause.h"
#include "screen/screen.h"

namespace {
constexpr double PHASE_STEP = 1.8;
}

int plasma_colour(int frame, float k, int x, int y) {
    const double a = std::sin(std::sqrt(std::sin(static_cast<double>(frame)) / 2 + x));
    const double b_term = std::sqrt(static_cast<double>(y));
    const double c = std::sqrt(static_cast<double>(x) + static_cast<double>(k));
    const double d = std::sin(c + b_term);
    float b = static_cast<float>(d + a);
    b = static_cast<float>(b * 3.5 + 3.5);
    // Column 0 in frames whose sin(frame) is negative takes the root of a
    // negative number: no value, colour 0.
    if (std::isnan(b))
        return 0;
    const int n = static_cast<int>(b);  // toward zero; -3 to 10
    // The palette repeats every six steps; below 0 it goes on repeating
    // downward (-1 is 5, -2 is 4, -3 is 3), so every cell gets one of the
    // six colours and the terminal never sees a colour number outside them.
    int colour = n % 6;
    if (colour < 0)
        colour += 6;
    return colour;
}

void plasma_frame(int frame, float k) {
    for (int y = 0; y < HEIGHT; y++)
        for (int x = 0; x < WIDTH; x++) {
            const int a = plasma_colour(frame, k, x, y);
            draw(x, y, 1, a, a, '#');
        }
}

void plasma_attack() {
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    float k = 0;  // 268.200226 in the last frame, not 149 * 1.8 = 268.200012
    for (int i = 0; i < PLASMA_FRAMES; i++) {
        plasma_frame(i, k);
        k = static_cast<float>(k + PHASE_STEP);
        pause_us(PLASMA_FRAME_US);
    }
}
