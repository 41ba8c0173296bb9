// The vortex: ring colours at chosen cells, and the whole scene frame by frame.
#include <gtest/gtest.h>

#include "cells.h"
#include "effects/effects.h"
#include "effects/vortex.h"
#include "recorder.h"
#include "screen/screen.h"
#include "temp_dir.h"

namespace {

// Runs the scene in a fresh working directory holding `lol` as grafik/lol
// (none when `lol` is null), with every pause recorded.
void run_scene(const char *lol) {
    temp_dir dir{temp_dir::ENTER};
    if (lol)
        dir.write("grafik/lol", lol);
    fill(0, 3, 5, 'q');
    recorder_start();
    man_eating_plasma_vortex_from_hell();
    recorder_stop();
}

// Every cell a "#" on its own colour, red or black.
::testing::AssertionResult ring_cells(const grid_t &g) {
    return grid_is(g, [&](int x, int y) {
        const int a = g[x][y].fg == 1 ? 1 : 0;
        return framebuffer_point{'#', 1, a, a};
    });
}

}  // namespace

TEST(Vortex, RingColoursAtChosenCells) {
    // First frame: the centre sits on sin 0, red; sin 3 is just above 0, sin 4 below.
    EXPECT_EQ(vortex_colour(40, 12, 0, 30), 1);
    EXPECT_EQ(vortex_colour(43, 12, 0, 30), 1);
    EXPECT_EQ(vortex_colour(44, 12, 0, 30), 0);
    // i = 35: sin(sqrt(1050)) is about 0.8348.
    EXPECT_EQ(vortex_colour(40, 12, 35, 30), 1);
    // Last rush frame: sin(sqrt(5400)) is about -0.9418.
    EXPECT_EQ(vortex_colour(40, 12, 9, 600), 0);
    // d = 417 (cell 31,6 at i = 10): the sine is 0.99999997, which single
    // precision rounds to 1, so b reaches exactly 2 and the crest is black.
    EXPECT_EQ(vortex_colour(31, 6, 10, 30), 0);
    EXPECT_EQ(vortex_colour(49, 18, 10, 30), 0);
}

TEST(Vortex, EightyOneRingFramesThenTheCard) {
    run_scene("X Y\nZ");
    const auto &rec = recorded();
    ASSERT_EQ(rec.size(), 82u);
    for (int f = 0; f < 81; f++) {
        EXPECT_EQ(rec[f].usec, 100000) << "frame " << f;
        // Every frame covers all 1920 cells, border included.
        ASSERT_TRUE(ring_cells(rec[f].picture)) << "frame " << f;
    }
    EXPECT_EQ(rec[81].usec, 800000);
    EXPECT_EQ(recorded_total(), 8900000);

    // The ring parameter goes 0..35..0 slowly, then 0..9 in the rush: rows of
    // the frames with i = 0, 1, 35 and (rushing) 9, worked out from the ring rule.
    // clang-format off
    EXPECT_TRUE(rows_are({
        {0, 12, "11100011100011100001110001110001110001111111000111000111000111000011100011100011"},
        {1, 0, "00111000011100011110000111100000111111111111111110000011110000111100011100001110"},
        {35, 0, "11110000111110000001111110000000000000001000000000000000111111000000111110000111"},
        {80, 12, "11111000000001111111111100000000000000000000000000000000011111111111000000001111"},
    }));
    // clang-format on
    // The slow phase comes back the way it went, i = 35 shown once; the same
    // picture opens and closes it and opens the rush.
    EXPECT_TRUE(grid_is(rec[36].picture, rec[34].picture));
    EXPECT_FALSE(grid_is(rec[36].picture, rec[35].picture));
    EXPECT_TRUE(grid_is(rec[70].picture, rec[0].picture));
    EXPECT_TRUE(grid_is(rec[71].picture, rec[0].picture));

    // The card lies over the last rush frame; its space lets the ring through.
    const grid_t &last = rec[81].picture;
    EXPECT_TRUE(grid_is(last, [&](int x, int y) {
        if (y == 9 && (x == 29 || x == 31))
            return framebuffer_point{x == 29 ? 'X' : 'Y', 1, 2, 2};
        if (y == 10 && x == 29)
            return framebuffer_point{'Z', 1, 2, 2};
        return rec[80].picture[x][y];
    }));
    // Nothing clears the screen after the pause: the card stays.
    EXPECT_EQ(cell_get(screen[31][9]).data, 'Y');
}

TEST(Vortex, MissingCardDrawsNothingButStillPauses) {
    run_scene(nullptr);
    const auto &rec = recorded();
    ASSERT_EQ(rec.size(), 82u);
    EXPECT_EQ(rec[81].usec, 800000);
    EXPECT_TRUE(grid_is(rec[81].picture, rec[80].picture));
}
