// The fireworks: the ring geometry frame by frame, the ring timeline, the
// colours, and whole instances on their layers, alone and as a volley.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include <unistd.h>

#include "cells.h"
#include "effects/effects.h"
#include "effects/fireworks.h"
#include "recorder.h"
#include "screen/screen.h"

namespace {

using cells_t = std::set<std::pair<int, int>>;

// The cells of `g` that are not transparent and have colour `c` (solid block).
cells_t cells_of(grid_t &g, int c) {
    cells_t out;
    for (int x = 0; x < WIDTH; x++)
        for (int y = 0; y < HEIGHT; y++) {
            framebuffer_point p = cell_get(g[x][y]);
            if (p.data != TRANSPARENT && p.fg == c && p.bg == c)
                out.insert({x, y});
        }
    return out;
}

int opaque_count(const grid_t &g) {
    return count_cells(g, [](const framebuffer_point &p) { return p.data != TRANSPARENT; });
}

const int COLS[5] = {1, 3, 4, 5, 6};

}  // namespace

TEST(Fireworks, FirstTwoBurstFramesAroundTheCentre) {
    float size = 2.0f, tails[FIREWORKS_TAILS] = {};
    int tailcount = 0;

    // Burst frame 0: every dy is 0; t at -2.0, -1.3, -0.6, 0.1, 0.8, 1.5 gives
    // one cell more to the left of the centre than to the right.
    fireworks_clear(layer(2), 2);
    fireworks_burst(layer(2), 40, 12, size, tails, tailcount, COLS);
    EXPECT_EQ(cells_of(layer(2), 1), (cells_t{{38, 12}, {39, 12}, {40, 12}, {41, 12}}));
    EXPECT_EQ(opaque_count(layer(2)), 4);

    fireworks_grow(size, tails, tailcount);
    EXPECT_EQ(size, static_cast<float>(2.0f + 0.3));
    EXPECT_EQ(tailcount, 1);
    EXPECT_NEAR(tails[1], 1.288f, 1e-6);

    // Burst frame 1: the tail ring lies wholly on the centre row, drawn after
    // the main ring there, so only the main ring's cells above and below stay.
    fireworks_clear(layer(2), 2);
    fireworks_burst(layer(2), 40, 12, size, tails, tailcount, COLS);
    EXPECT_EQ(cells_of(layer(2), 1), (cells_t{{40, 11}, {40, 13}}));
    EXPECT_EQ(cells_of(layer(2), 3), (cells_t{{38, 12}, {39, 12}, {40, 12}, {41, 12}}));
    EXPECT_EQ(opaque_count(layer(2)), 6);
}

TEST(Fireworks, TailRingsOpenOnTimeAndShareOneColour) {
    float size = 2.0f, tails[FIREWORKS_TAILS] = {};
    int tailcount = 0;
    std::vector<int> count_in_frame;  // tailcount with which burst frame n is drawn
    for (int n = 0; n < 49; n++) {
        count_in_frame.push_back(tailcount);
        if (tailcount == 2) {
            // Both rings in col3, none in col2; the main ring in col1.
            fireworks_clear(layer(3), 3);
            fireworks_burst(layer(3), 40, 12, size, tails, tailcount, COLS);
            ASSERT_TRUE(cells_of(layer(3), 3).empty()) << n;
            ASSERT_FALSE(cells_of(layer(3), 4).empty()) << n;
            ASSERT_FALSE(cells_of(layer(3), 1).empty()) << n;
        }
        const int before = tailcount;
        fireworks_grow(size, tails, tailcount);
        // A new ring's radius as it is first drawn.
        const double first_radius[5] = {0, 1.288, 0.47, 0.51, 0.55};
        if (tailcount != before) {
            EXPECT_NEAR(tails[tailcount], first_radius[tailcount], 0.01) << n;
        }
    }
    EXPECT_EQ(count_in_frame[0], 0);
    for (int n = 1; n < 49; n++)
        EXPECT_EQ(count_in_frame[n], n < 12 ? 1 : n < 26 ? 2 : n < 40 ? 3 : 4) << n;
    EXPECT_NEAR(size, 2.0 + 0.3 * 49, 1e-3);
}

TEST(Fireworks, ColoursSkipTheNextOneAndNeverBlackOrWhite) {
    const int table[6][5] = {{1, 3, 4, 5, 6}, {2, 4, 5, 6, 1}, {3, 5, 6, 1, 2},
                             {4, 6, 1, 2, 3}, {5, 1, 2, 3, 4}, {6, 2, 3, 4, 5}};
    for (int c = 1; c <= 6; c++) {
        int cols[5];
        fireworks_colours(c, cols);
        for (int k = 0; k < 5; k++)
            EXPECT_EQ(cols[k], table[c - 1][k]) << c << " " << k;
    }
}

TEST(Fireworks, LargestRingIsClippedAtTheEdgesWithoutWrapping) {
    // The largest main ring, with four tail rings, round the centre; then
    // round a centre near the lower left corner: the same shape, shifted, with
    // the cells off the layer left out and nothing wrapped onto other rows.
    float size = 2.0f, tails[FIREWORKS_TAILS] = {};
    int tailcount = 0;
    for (int n = 0; n < 48; n++)
        fireworks_grow(size, tails, tailcount);
    ASSERT_EQ(tailcount, 4);

    fireworks_clear(layer(4), 4);
    fireworks_burst(layer(4), 40, 12, size, tails, tailcount, COLS);
    cells_t rings = cells_of(layer(4), 1);
    for (auto c : cells_of(layer(4), 6))
        rings.insert(c);
    ASSERT_EQ(static_cast<int>(rings.size()), opaque_count(layer(4)));
    // Columns 24 to 55 (t from -16.4 up to 15.8), rows 4 to 20.
    EXPECT_EQ(rings.begin()->first, 24);
    EXPECT_EQ(rings.rbegin()->first, 55);
    int top = HEIGHT, bottom = -1;
    for (auto [x, y] : rings) {
        top = std::min(top, y);
        bottom = std::max(bottom, y);
    }
    EXPECT_EQ(top, 4);
    EXPECT_EQ(bottom, 20);

    fireworks_clear(layer(4), 4);
    fireworks_burst(layer(4), 13, 17, size, tails, tailcount, COLS);
    cells_t expected;
    for (auto [x, y] : rings)
        if (on_grid(x - 27, y + 5))
            expected.insert({x - 27, y + 5});
    cells_t got = cells_of(layer(4), 1);
    for (auto c : cells_of(layer(4), 6))
        got.insert(c);
    EXPECT_EQ(got, expected);
    EXPECT_EQ(static_cast<int>(got.size()), opaque_count(layer(4)));
}

namespace {

// Runs one instance on layer `n` with its frames recorded, within one second
// of the clock so the test can replay the instance's random choices.
long run_instance(int n) {
    return within_one_second([n] {
        recorder_start({.watched = n});
        int layer_number = n;
        fireworks(&layer_number);
        recorder_stop();
    });
}

}  // namespace

TEST(Fireworks, WholeInstanceFollowsItsRandomChoices) {
    for (int n : {1, 4}) {
        // Everything but the instance's own layer must come through untouched.
        for (int g = 0; g <= 6; g++)
            local_fill(layer(g), 0, 2, 2, 'Z');
        const long seed_time = run_instance(n);
        ASSERT_GE(seed_time, 0);

        srand(static_cast<unsigned>(seed_time * n));
        const int col1 = rand() % 6 + 1;
        const int height = rand() % 13 + 5;
        const int column = rand() % 57 + 13;
        const int p = rand() % 19 + 36;
        const int col2 = (col1 + 1) % 6 + 1;

        const auto &frames = recorded();
        ASSERT_EQ(static_cast<int>(frames.size()), p);
        for (const pause_record &r : frames)
            EXPECT_EQ(r.usec, 60000);

        const char background = n == 1 ? ' ' : TRANSPARENT;
        for (int i = 0; i <= height + 1; i++) {
            const grid_t &f = frames[i].picture;
            cells_t drawn;
            for (int x = 0; x < WIDTH; x++)
                for (int y = 0; y < HEIGHT; y++)
                    if (!(f[x][y] == framebuffer_point{background, 1, 7, 0}))
                        drawn.insert({x, y});
            const int row = 22 - (i <= height ? i : height);
            if (i < height) {
                // The rocket alone, a solid block of col1, one row higher each frame.
                ASSERT_EQ(drawn, (cells_t{{column, row}})) << "frame " << i;
                EXPECT_EQ(f[column][row], block(col1));
            } else if (i == height) {
                EXPECT_EQ(
                    drawn,
                    (cells_t{
                        {column - 2, row}, {column - 1, row}, {column, row}, {column + 1, row}}));
            } else {
                EXPECT_EQ(drawn.size(), 6u);
                for (int x = column - 2; x <= column + 1; x++)
                    EXPECT_EQ(f[x][row].fg, col2) << x;
                EXPECT_EQ(f[column][row - 1].fg, col1);
                EXPECT_EQ(f[column][row + 1].fg, col1);
            }
        }
        EXPECT_TRUE(grid_is(layer(n), {background, 1, 7, 0}));
        for (int g = 0; g <= 6; g++)
            if (g != n) {
                EXPECT_TRUE(grid_is(layer(g), {'Z', 0, 2, 2})) << g;
            }
    }
}

TEST(Fireworks, LayerNumberOutsideOneToSixDrawsNothing) {
    for (int g = 0; g <= 6; g++)
        local_fill(layer(g), 0, 2, 2, 'Z');
    for (int n : {0, 7, -1}) {
        recorder_start();
        fireworks(&n);
        fireworks(nullptr);
        recorder_stop();
        EXPECT_TRUE(recorded().empty()) << n;
    }
    for (int g = 0; g <= 6; g++)
        EXPECT_TRUE(grid_is(layer(g), {'Z', 0, 2, 2})) << g;
}

TEST(Fireworks, VolleyOfSixEachOnItsOwnLayer) {
    // The instances' threads pause for real, a hundred times shorter.
    recorder_start({.others = 100});
    std::vector<std::thread> threads;
    int layers[] = {1, 2, 3, 4, 5, 6};
    for (int n = 0; n < 5; n++)
        threads.emplace_back([&layers, n] { fireworks(&layers[n]); });
    fireworks(&layers[5]);
    for (auto &t : threads)
        t.join();
    recorder_stop();

    const long pauses = others_paused() + static_cast<long>(recorded().size());
    EXPECT_GE(pauses, 6 * 36);
    EXPECT_LE(pauses, 6 * 54);
    EXPECT_TRUE(grid_is(layer(1), {' ', 1, 7, 0}));
    for (int n = 2; n <= 6; n++)
        EXPECT_TRUE(grid_is(layer(n), {TRANSPARENT, 1, 7, 0})) << n;
}
