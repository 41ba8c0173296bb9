// The fire: its heat steps on their own and the whole scene on the test's thread.
#include <gtest/gtest.h>

#include <cstdlib>
#include <tuple>

#include "cells.h"
#include "effects/effects.h"
#include "effects/fire.h"
#include "recorder.h"
#include "screen/screen.h"

namespace {

void clear(fire_grid &heat, int value = 0) {
    for (int x = 0; x < WIDTH; x++)
        for (int y = 0; y < HEIGHT; y++)
            heat[x][y] = value;
}

bool looks(const framebuffer_point &c, int h) {
    const fire_look &l = FIRE_PALETTE[h];
    return c == framebuffer_point{l.data, 1, l.fg, l.bg};
}

}  // namespace

TEST(Fire, SpreadKeepsEvenHeatAndTruncates) {
    static fire_grid heat;
    for (int k : {0, 4, 13}) {
        clear(heat, k);
        fire_spread(heat);
        for (int x = 0; x < WIDTH; x++)
            for (int y = 0; y < HEIGHT; y++)
                ASSERT_EQ(heat[x][y], k) << k << " at " << x << "," << y;
    }
    // Below-left 1, below 1, below-right 1, two below 0: 3 * 64 / 255 = 0.
    clear(heat);
    heat[9][11] = heat[10][11] = heat[11][11] = 1;
    fire_spread(heat);
    EXPECT_EQ(heat[10][10], 0);
    // 5 + 5 + 5 + 6 = 21, a quarter rounded down.
    clear(heat);
    heat[9][11] = heat[10][11] = heat[11][11] = 5;
    heat[10][12] = 6;
    fire_spread(heat);
    EXPECT_EQ(heat[10][10], 5);
    // Top row first: row 9 still sees row 10 as it was (0) and the 5 two
    // rows below, so 5 * 64 / 255 = 1; row 10 done first would have given 3.
    EXPECT_EQ(heat[10][9], 1);
}

TEST(Fire, SpreadWrapsColumnsAndRowTwentyTwoReadsTheNewRowZero) {
    static fire_grid heat;
    // A hot source cell at column 79 warms columns 78, 79 and 0 of row 22,
    // and one at column 0 warms columns 79, 0 and 1.
    for (auto [source, left, right, cold] : {std::tuple{79, 78, 0, 1}, {0, 79, 1, 78}}) {
        clear(heat);
        heat[source][23] = 13;
        fire_spread(heat);
        EXPECT_EQ(heat[left][22], 3) << source;
        EXPECT_EQ(heat[source][22], 3) << source;
        EXPECT_EQ(heat[right][22], 3) << source;
        EXPECT_EQ(heat[cold][22], 0) << source;
    }
    EXPECT_EQ(heat[5][23], 0);  // the source row is never recomputed
    EXPECT_EQ(heat[0][23], 13);

    // Row 1 at 8 makes row 0 (8 + 8 + 8 + 0) * 64 / 255 = 6 in this pass;
    // row 22 then reads that 6 two rows below: 6 * 64 / 255 = 1. The old
    // row 0 (all 0) would have left it 0.
    clear(heat);
    for (int x = 0; x < WIDTH; x++)
        heat[x][1] = 8;
    fire_spread(heat);
    for (int x = 0; x < WIDTH; x++) {
        ASSERT_EQ(heat[x][0], 6) << x;
        ASSERT_EQ(heat[x][1], 0) << x;
        ASSERT_EQ(heat[x][22], 1) << x;
    }
}

TEST(Fire, FeedDrawsEveryValueFromThreeToThirteen) {
    static fire_grid heat;
    clear(heat);
    srand(7);
    bool seen[16] = {};
    for (int round = 0; round < 50; round++) {
        fire_feed(heat);
        for (int x = 0; x < WIDTH; x++) {
            ASSERT_GE(heat[x][23], 3);
            ASSERT_LE(heat[x][23], 13);
            seen[heat[x][23]] = true;
        }
    }
    for (int h = 3; h <= 13; h++)
        EXPECT_TRUE(seen[h]) << h;
    for (int x = 0; x < WIDTH; x++)
        for (int y = 0; y < 23; y++)
            ASSERT_EQ(heat[x][y], 0);
}

TEST(Fire, DrawShowsTheGridOneRowUpInsideColumnsTwoToSeventySeven) {
    static fire_grid heat;
    // Heat (x + y) % 14, except column 40, which holds the levels 0 to 13
    // upwards from the bottom row, so every level shows somewhere.
    for (int x = 0; x < WIDTH; x++)
        for (int y = 0; y < HEIGHT; y++)
            heat[x][y] = x == 40 ? (23 - y) % 14 : (x + y) % 14;
    fill(0, 2, 5, 'z');
    fire_draw(heat, FIRE_PALETTE);
    for (int x = 0; x < WIDTH; x++)
        for (int y = 0; y < HEIGHT; y++) {
            const framebuffer_point c = cell_get(screen[x][y]);
            if (x >= 2 && x <= 77 && y >= 1 && y <= 22) {
                ASSERT_TRUE(looks(c, heat[x][y + 1])) << x << "," << y;
            } else {
                ASSERT_EQ(c, (framebuffer_point{'z', 0, 2, 5})) << x << "," << y;
            }
        }
    // The palette: a few levels spelt out.
    EXPECT_TRUE(looks(cell_get(screen[40][22]), 0));
    EXPECT_EQ(cell_get(screen[40][19]), (framebuffer_point{'`', 1, 3, 0}));   // heat 3
    EXPECT_EQ(cell_get(screen[40][15]), (framebuffer_point{'#', 1, 1, 1}));   // heat 7
    EXPECT_EQ(cell_get(screen[40][11]), (framebuffer_point{'\'', 1, 0, 7}));  // heat 11
    EXPECT_EQ(cell_get(screen[40][9]), (framebuffer_point{' ', 1, 1, 7}));    // heat 13
}

TEST(Fire, SceneRunsOneHundredSixtyFramesFromABlackScreen) {
    fill(1, 7, 4, 'q');
    // The scene seeds with the clock: run it within one second so that the
    // source row it feeds first can be replayed from the same seed.
    const long seed_time = within_one_second([] {
        srand(1);
        recorder_start();
        fire();
        recorder_stop();
    });
    ASSERT_GE(seed_time, 0);
    ASSERT_EQ(recorded().size(), 160u);
    EXPECT_EQ(recorded_total(), 160 * 70000L);

    // Outside the flames the initial fill stays: normal white on black spaces.
    for (const pause_record &r : recorded())
        for (int x = 0; x < WIDTH; x++)
            for (int y = 0; y < HEIGHT; y++)
                if (x < 2 || x > 77 || y == 0 || y == 23) {
                    ASSERT_EQ(r.picture[x][y], (framebuffer_point{' ', 0, 7, 0})) << x << "," << y;
                }

    // After the first frame only row 22 shows heat, fed from 3 to 13; the
    // rows above show heat 0.
    const grid_t &first = recorded()[0].picture;
    for (int x = 2; x <= 77; x++) {
        for (int y = 1; y <= 21; y++)
            ASSERT_TRUE(looks(first[x][y], 0)) << x << "," << y;
        bool fed = false;
        for (int h = 3; h <= 13; h++)
            fed |= looks(first[x][22], h);
        ASSERT_TRUE(fed) << x;
    }
    // Replayed from the clock's seed, row 22 is exactly what the first feed drew.
    srand(static_cast<unsigned>(seed_time));
    for (int x = 0; x < WIDTH; x++) {
        const int h = rand() % 11 + 3;
        if (x >= 2 && x <= 77) {
            ASSERT_TRUE(looks(first[x][22], h)) << x;
        }
    }
    // By the last frame the flames have climbed: heat shows above row 22.
    const grid_t &last = recorded()[159].picture;
    int warm = 0;
    for (int x = 2; x <= 77; x++)
        for (int y = 1; y <= 21; y++)
            warm += !looks(last[x][y], 0);
    EXPECT_GT(warm, 76);
}
