// The wipes frame by frame, on the test's own thread.
#include <gtest/gtest.h>

#include "cells.h"
#include "effects/effects.h"
#include "effects/slide.h"
#include "recorder.h"
#include "screen/screen.h"

namespace {

// A screen where every cell differs, so any cell a wipe writes shows.
framebuffer_point marker(int x, int y) {
    return {static_cast<char>('a' + (x * 7 + y) % 26), 0, x % 8, y % 8};
}

// Runs a wipe over the marked screen with every frame recorded, and checks
// the number of frames and the pause after each.
void run_wipe(void (*wipe)(), size_t frames, long usec) {
    paint_grid(screen, marker);
    recorder_start();
    wipe();
    recorder_stop();
    ASSERT_EQ(recorded().size(), frames);
    for (const pause_record &r : recorded())
        EXPECT_EQ(r.usec, usec);
}

}  // namespace

TEST(Slide, TwentyFourFramesOverTheInteriorEndOnBlueAndSpareTheBorder) {
    ASSERT_NO_FATAL_FAILURE(run_wipe(slide, 24, 50000));

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
                ASSERT_TRUE(c == block(4) || c == block(6))
                    << "frame " << i << " cell " << x << "," << y;
                // Stripes: one colour along each anti-diagonal.
                if (x > 1 && y < HEIGHT - 2) {
                    ASSERT_EQ(c.bg, p[x - 1][y + 1].bg)
                        << "frame " << i << " cell " << x << "," << y;
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
    // Each frame drawn with its own number: the top and bottom interior rows,
    // which between them hold every stripe, of frames 1, 8 and 20, worked out
    // from the band rule.
    // clang-format off
    const struct {
        int frame;
        const char *top, *bottom;
    } rows[] = {
        {1, "446664444466666444444466666664444444466666666664444444444666666666666444444444",
         "466666664444444466666666664444444444666666666666444444444444666666666666644444"},
        {8, "666666666644444444444444444444444446666666666666666666666666666666666444444444",
         "444444444444446666666666666666666666666666666666444444444444444444444444444444"},
        {20, "666666666666666666444444444444444444444444444444444444444444444444466666666666",
         "444444444444444444444444444444444444444444444466666666666666666666666666666666"},
    };
    // clang-format on
    for (const auto &r : rows) {
        const grid_t &p = recorded()[r.frame - 1].picture;
        EXPECT_EQ(row_colours(p, 1).substr(1, 78), r.top) << "frame " << r.frame;
        EXPECT_EQ(row_colours(p, 22).substr(1, 78), r.bottom) << "frame " << r.frame;
    }
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
