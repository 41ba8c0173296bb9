// The vortex: ring colours at chosen cells, and the whole scene frame by frame.
#include <gtest/gtest.h>

#include "effects/effects.h"
#include "effects/vortex.h"
#include "cells.h"
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

// The ring parameter and multiplier of each of the 81 ring frames.
void frame_params(int frame, int &i, int &m) {
    if (frame < 71) {
        i = frame <= 35 ? frame : 70 - frame;
        m = 30;
    } else {
        i = frame - 71;
        m = 600;
    }
}

bool is_ring_cell(const framebuffer_point &c, int x, int y, int i, int m) {
    int a = vortex_colour(x, y, i, m);
    return c == framebuffer_point{'#', 1, a, a};
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
    for (int f = 0; f < 81; f++)
        EXPECT_EQ(rec[f].usec, 100000) << "frame " << f;
    EXPECT_EQ(rec[81].usec, 800000);
    EXPECT_EQ(recorded_total(), 8900000);

    // Every frame covers all 1920 cells, border included, with the ring
    // parameter going 0..35..0 slowly, then 0..9 in the rush.
    for (int f = 0; f < 81; f++) {
        int i, m;
        frame_params(f, i, m);
        for (int x = 0; x < WIDTH; x++)
            for (int y = 0; y < HEIGHT; y++)
                ASSERT_TRUE(is_ring_cell(rec[f].picture[x][y], x, y, i, m))
                    << "frame " << f << " cell " << x << "," << y;
    }

    // The card lies over the last rush frame; its space lets the ring through.
    const grid_t &last = rec[81].picture;
    struct {
        int x, y;
        char ch;
    } const card[] = {{29, 9, 'X'}, {31, 9, 'Y'}, {29, 10, 'Z'}};
    for (const auto &k : card)
        EXPECT_EQ(last[k.x][k.y], (framebuffer_point{k.ch, 1, 2, 2}));
    for (int x = 0; x < WIDTH; x++)
        for (int y = 0; y < HEIGHT; y++) {
            bool card = (y == 9 && (x == 29 || x == 31)) || (y == 10 && x == 29);
            if (!card) {
                ASSERT_TRUE(is_ring_cell(last[x][y], x, y, 9, 600)) << x << "," << y;
            }
        }
    // Nothing clears the screen after the pause: the card stays.
    EXPECT_EQ(cell_get(screen[31][9]).data, 'Y');
}

TEST(Vortex, MissingCardDrawsNothingButStillPauses) {
    run_scene(nullptr);
    const auto &rec = recorded();
    ASSERT_EQ(rec.size(), 82u);
    EXPECT_EQ(rec[81].usec, 800000);
    for (int x = 0; x < WIDTH; x++)
        for (int y = 0; y < HEIGHT; y++)
            ASSERT_TRUE(is_ring_cell(rec[81].picture[x][y], x, y, 9, 600)) << x << "," << y;
}
