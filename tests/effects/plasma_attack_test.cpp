// The closing plasma: colours of single cells and the frames the scene draws.
#include <gtest/gtest.h>

#include <cstdlib>

#include "cells.h"
#include "effects/effects.h"
#include "effects/plasma_attack.h"
#include "recorder.h"
#include "screen/screen.h"

TEST(PlasmaAttack, ColoursOfKnownCells) {
    EXPECT_EQ(plasma_colour(0, 0.0f, 0, 0), 3);    // b = 3.5
    EXPECT_EQ(plasma_colour(0, 0.0f, 10, 5), 0);   // b about 0.719
    EXPECT_EQ(plasma_colour(0, 0.0f, 79, 23), 2);  // b about 8.436, 8 wraps to 2
    EXPECT_EQ(plasma_colour(1, 1.8f, 0, 0), 3);    // b about 9.023
    // sin(4) < 0: column 0 has no value and is black; (1, 0) has b about 6.943.
    for (int y = 0; y < HEIGHT; y++)
        EXPECT_EQ(plasma_colour(4, 7.20000029f, 0, y), 0) << y;
    EXPECT_EQ(plasma_colour(4, 7.20000029f, 1, 0), 0);
}

TEST(PlasmaAttack, CellsBelowZeroStayInThePalette) {
    // Frame 0, (15, 0): b about -1.175. The palette goes on downward: colour 5.
    EXPECT_EQ(plasma_colour(0, 0.0f, 15, 0), 5);
    for (int i = 0; i < PLASMA_FRAMES; i += 7)
        for (int x = 0; x < WIDTH; x++)
            for (int y = 0; y < HEIGHT; y++) {
                const int c = plasma_colour(i, 1.8f * static_cast<float>(i), x, y);
                ASSERT_TRUE(c >= 0 && c <= 5) << i << " " << x << "," << y;
            }
}

TEST(PlasmaAttack, HundredFiftyFramesOfSolidBlocksOverTheWholeScreen) {
    fill(0, 0, 0, 'z');
    // The scene seeds the generator with the clock: the next number drawn is
    // the first of the sequence seeded with the second it ran in.
    const long seed_time = within_one_second([] {
        std::srand(1);
        recorder_start();
        plasma_attack();
        recorder_stop();
    });
    ASSERT_GE(seed_time, 0);
    const int next = std::rand();
    std::srand(static_cast<unsigned>(seed_time));
    EXPECT_EQ(std::rand(), next);

    const auto &r = recorded();
    ASSERT_EQ(r.size(), 150u);
    EXPECT_EQ(recorded_total(), 7500000);
    for (const pause_record &p : r) {
        ASSERT_EQ(p.usec, 50000);
        // Every cell, the border included, is a "#" on its own colour.
        ASSERT_TRUE(grid_is(p.picture, [&](int x, int y) {
            const int a = p.picture[x][y].fg;
            return framebuffer_point{'#', 1, a, a};
        }));
    }
    // Rows of three frames, worked out from the colour rule; column 0 of
    // frame 4 has no root and is black.
    // clang-format off
    EXPECT_TRUE(rows_are({
        {0, 0, "33443310543210055443333333444555000012233445500112223333444444444444333332222111"},
        {4, 12, "00122222111005544332221111000000000000000011111122222233333444444455555555555555"},
        {149, 0, "03444332210000554443333333333444455550000001111222233333444444444455555554444444"},
    }));
    // clang-format on
    // The last frame stays on the screen.
    EXPECT_TRUE(grid_is(screen, r.back().picture));
}
