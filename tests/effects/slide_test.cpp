// The wipes frame by frame, on the test's own thread.
#include <gtest/gtest.h>

#include "effects/effects.h"
#include "effects/slide.h"
#include "cells.h"
#include "recorder.h"
#include "screen/screen.h"

namespace {

// A screen where every cell differs, so any cell a wipe writes shows.
framebuffer_point marker(int x, int y) {
    return {static_cast<char>('a' + (x * 7 + y) % 26), 0, x % 8, y % 8};
}

void mark_screen() {
    for (int x = 0; x < WIDTH; x++)
        for (int y = 0; y < HEIGHT; y++)
            cell_set(screen[x][y], marker(x, y));
}

}  // namespace

TEST(Slide, TwentyFourFramesOverTheInteriorEndOnBlueAndSpareTheBorder) {
    mark_screen();
    recorder_start();
    slide();
    recorder_stop();

    ASSERT_EQ(recorded().size(), 24u);
    for (const pause_record &r : recorded())
        EXPECT_EQ(r.usec, 50000);

    for (size_t f = 0; f < recorded().size(); f++) {
        const grid_t &p = recorded()[f].picture;
        const int i = static_cast<int>(f) + 1;
        for (int x = 0; x < WIDTH; x++)
            for (int y = 0; y < HEIGHT; y++) {
                const framebuffer_point &c = p[x][y];
                if (on_border(x, y)) {
                    ASSERT_EQ(c, marker(x, y)) << "frame " << i << " border " << x << "," << y;
                    continue;
                }
                ASSERT_TRUE(c == block(4) || c == block(6)) << "frame " << i << " cell " << x << "," << y;
                // Frame i is drawn with its own number, not a neighbour's.
                ASSERT_EQ(c.bg, slide_colour(x, y, i)) << "frame " << i << " cell " << x << "," << y;
                // Stripes: one colour along each anti-diagonal.
                if (x > 1 && y < HEIGHT - 2) {
                    ASSERT_EQ(c.bg, p[x - 1][y + 1].bg) << "frame " << i << " cell " << x << "," << y;
                }
                // The last four frames are solid blue.
                if (i >= 21) {
                    ASSERT_EQ(c, block(4)) << "frame " << i << " cell " << x << "," << y;
                }
            }
    }
    // Frame 1 as drawn: (1,1) has n = 60, sine about 0.99, blue; (2,2) has
    // n = 100, sine about -0.54, cyan.
    EXPECT_EQ(recorded()[0].picture[1][1], block(4));
    EXPECT_EQ(recorded()[0].picture[2][2], block(6));
}

TEST(Slide, BandsFollowTheSineOfTheRoot) {
    // Frame 1, k = 20: (1,1) has n = 60, sine of 7.746 about 0.99: blue;
    // (2,2) has n = 100, sine of 10 about -0.54: cyan.
    EXPECT_EQ(slide_colour(1, 1, 1), 4);
    EXPECT_EQ(slide_colour(2, 2, 1), 6);
    // Frame 6, k = 3: (1,1) has n = 24, sine of 4.899 about -0.98: cyan.
    EXPECT_EQ(slide_colour(1, 1, 6), 6);
    // k = 0 from frame 21: n = 0, sine 0, blue even in the far corner.
    EXPECT_EQ(slide_colour(78, 22, 21), 4);
    EXPECT_EQ(slide_colour(78, 22, 24), 4);
    // Some cyan is left in frame 20, the widest stripes: the far corner has
    // n = 120, sine of 10.95 about -0.99.
    EXPECT_EQ(slide_colour(78, 22, 20), 6);

    // While k holds (frames 7 to 10 and 11 to 20) the stripes move one
    // diagonal towards the top-left corner per frame.
    for (int i : {7, 8, 9, 11, 15, 19})
        for (int s = 2; s < 99; s++)
            ASSERT_EQ(slide_colour(1, s, i + 1), slide_colour(1, s + 1, i)) << i << " " << s;
}

TEST(Slide, FillscreenBlackFirstThenBandsThenAllBlueBorderIncluded) {
    mark_screen();
    recorder_start();
    fillscreen();
    recorder_stop();

    ASSERT_EQ(recorded().size(), 29u);
    for (const pause_record &r : recorded())
        EXPECT_EQ(r.usec, 60000);

    for (size_t d = 0; d < recorded().size(); d++) {
        const grid_t &p = recorded()[d].picture;
        bool black_seen = false;
        for (int x = 0; x < WIDTH; x++)
            for (int y = 0; y < HEIGHT; y++) {
                const framebuffer_point &c = p[x][y];
                ASSERT_TRUE(c == block(0) || c == block(4)) << "frame " << d << " cell " << x << "," << y;
                if (x > 0 && y < HEIGHT - 1) {
                    ASSERT_EQ(c.bg, p[x - 1][y + 1].bg) << "frame " << d << " cell " << x << "," << y;
                }
                black_seen |= c.bg == 0;
                // Frame 0 divides by zero: every cell black, the corner
                // (0,0) with its 0 / 0 too. Frames 26 to 28 are all blue.
                if (d == 0) {
                    ASSERT_EQ(c, block(0)) << "cell " << x << "," << y;
                }
                if (d >= 26) {
                    ASSERT_EQ(c, block(4)) << "frame " << d << " cell " << x << "," << y;
                }
            }
        // Until frame 25 some black is left: (79,23) has sqrt(1020 / 100) > pi.
        if (d >= 1 && d <= 25) {
            EXPECT_TRUE(black_seen) << "frame " << d;
        }
        if (d >= 1) {
            EXPECT_EQ(p[0][0], block(4)) << "frame " << d;
        }
    }
    // Frame 25: the edge of the last band lies between x + y = 98 (sqrt 9.8,
    // below pi) and 99 (sqrt 9.9, above).
    EXPECT_EQ(recorded()[25].picture[79][19], block(4));
    EXPECT_EQ(recorded()[25].picture[79][20], block(0));
    EXPECT_EQ(recorded()[25].picture[79][23], block(0));
}
