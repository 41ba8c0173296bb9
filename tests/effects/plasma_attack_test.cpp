// The closing plasma: colours of single cells, the phase, and the whole scene.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "effects/effects.h"
#include "effects/plasma_attack.h"
#include "cells.h"
#include "recorder.h"
#include "screen/screen.h"

TEST(PlasmaAttack, ColoursOfKnownCells) {
    EXPECT_EQ(plasma_colour(0, 0.0f, 0, 0), 3);     // b = 3.5
    EXPECT_EQ(plasma_colour(0, 0.0f, 10, 5), 0);    // b about 0.719
    EXPECT_EQ(plasma_colour(0, 0.0f, 79, 23), 2);   // b about 8.436, 8 wraps to 2
    EXPECT_EQ(plasma_colour(1, plasma_phase(1), 0, 0), 3);   // b about 9.023
    // sin(4) < 0: column 0 has no value and is black; (1, 0) has b about 6.943.
    for (int y = 0; y < HEIGHT; y++)
        EXPECT_EQ(plasma_colour(4, plasma_phase(4), 0, y), 0) << y;
    EXPECT_EQ(plasma_colour(4, plasma_phase(4), 1, 0), 0);
}

TEST(PlasmaAttack, CellsBelowZeroStayInThePalette) {
    // Frame 0, (15, 0): b about -1.175. The palette goes on downward: colour 5.
    EXPECT_EQ(plasma_colour(0, 0.0f, 15, 0), 5);
    for (int i = 0; i < PLASMA_FRAMES; i += 7)
        for (int x = 0; x < WIDTH; x++)
            for (int y = 0; y < HEIGHT; y++) {
                const int c = plasma_colour(i, plasma_phase(i), x, y);
                ASSERT_TRUE(c >= 0 && c <= 5) << i << " " << x << "," << y;
            }
}

TEST(PlasmaAttack, PhaseIsRoundedToSinglePrecisionEveryFrame) {
    EXPECT_EQ(plasma_phase(0), 0.0f);
    EXPECT_EQ(plasma_phase(1), 1.8f);
    // Added up frame by frame; 149 * 1.8 in one go would give 268.200012.
    EXPECT_FLOAT_EQ(plasma_phase(149), 268.200226f);
    EXPECT_NE(plasma_phase(149), static_cast<float>(149 * 1.8));
}

TEST(PlasmaAttack, HundredFiftyFramesOfSolidBlocksOverTheWholeScreen) {
    fill(0, 0, 0, 'z');
    std::srand(1);
    const std::time_t before = std::time(nullptr);
    recorder_start();
    plasma_attack();
    recorder_stop();
    // The scene seeds the generator with the time: the next number drawn is
    // the first of a sequence seeded with a second within the run.
    const int next = std::rand();
    bool seeded = false;
    for (std::time_t t = before; t <= std::time(nullptr); t++) {
        std::srand(static_cast<unsigned>(t));
        seeded = seeded || std::rand() == next;
    }
    EXPECT_TRUE(seeded);
    ASSERT_EQ(recorded().size(), static_cast<size_t>(PLASMA_FRAMES));
    EXPECT_EQ(recorded_total(), 7500000);
    for (int i = 0; i < PLASMA_FRAMES; i++) {
        const pause_record &r = recorded()[i];
        ASSERT_EQ(r.usec, PLASMA_FRAME_US);
        const float k = plasma_phase(i);
        for (int x = 0; x < WIDTH; x++)
            for (int y = 0; y < HEIGHT; y++) {
                const framebuffer_point &c = r.picture[x][y];
                const int want = plasma_colour(i, k, x, y);
                ASSERT_EQ(c, (framebuffer_point{'#', 1, want, want}))
                    << "frame " << i << " cell " << x << "," << y;
            }
    }
    // The last frame stays on the screen.
    for (int x = 0; x < WIDTH; x++)
        for (int y = 0; y < HEIGHT; y++)
            ASSERT_EQ(cell_get(screen[x][y]).fg, recorded().back().picture[x][y].fg);
}
