// The worm: its path, its blocks, its frames and the hand-over between the
// two instances of the worms scene.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <pthread.h>
#include <string>
#include <thread>
#include <vector>

#include "cells.h"
#include "effects/effects.h"
#include "effects/worm.h"
#include "recorder.h"
#include "screen/screen.h"

namespace {

grid_t expected;

// A worm's picture on layer n, worked out from the path and block rules: the
// colour of each cell of the rows given, '.' where no block is; the other rows
// hold no block. Every block cell is a solid block of its colour.
::testing::AssertionResult is_picture(const grid_t &g, int n,
                                      const std::map<int, std::string> &rows) {
    const framebuffer_point blank = {n == 1 ? ' ' : TRANSPARENT, 1, 7, 4};
    ::testing::AssertionResult solid =
        grid_is(g, [&](int x, int y) { return g[x][y] == blank ? blank : block(g[x][y].fg); });
    if (!solid)
        return solid;
    for (int y = 0; y < HEIGHT; y++) {
        const auto row = rows.find(y);
        const std::string want = row == rows.end() ? std::string(WIDTH, '.') : row->second;
        if (row_colours(g, y, blank) != want)
            return ::testing::AssertionFailure()
                   << "row " << y << " is " << row_colours(g, y, blank);
    }
    return ::testing::AssertionSuccess();
}

// The first worm of the show (6, 4) on layer 1 and the second (4, 2) on layer
// 3, as the show leaves them after their last frame, the tail at step 139.
// clang-format off
const std::map<int, std::string> FIRST_LAST = {
    {2, "..........ddddddddd............................................................."},
    {3, ".......bccddddddddd............................................................."},
    {4, ".......bccddddddddd............................................................."},
    {5, ".......bccddddddddd............................................................."},
    {6, "........aaddddddddd............................................................."},
    {7, "........9999...................................................................."},
    {8, ".........888...................................................................."},
    {10, "..........77...................................................................."},
};
const std::map<int, std::string> SECOND_LAST = {
    {8, "......bbbbbbbbb................................................................."},
    {9, "......bbbbbbbbb................................................................."},
    {10, "......bbbbbbbbb................................................................."},
    {11, "......bbbbbbbbb................................................................."},
    {12, "......bbbbbbbbb................................................................."},
    {13, "......aaaaaaaa.................................................................."},
    {14, "......aaaaaaaa.................................................................."},
    {15, "......aaaaaaaa..............55.................................................."},
    {17, "........9999999................................................................."},
    {18, "........9999999................................................................."},
    {19, "........999999988....6666......................................................."},
    {20, "...........888888777............................................................"},
    {21, "...........888888..............................................................."},
};
// clang-format on

// The tail's path step in each of the 120 frames: 20 twice, then one more a
// frame, except that 94 is skipped, up to 139.
std::vector<int> expected_x0() {
    std::vector<int> v{20};
    for (int x = 20; x <= 139; x++)
        if (x != 94)
            v.push_back(x);
    return v;
}

// Paints the block of a segment of size w at plane cell (x, y) onto the layer
// the way the block table gives it: columns relative to x, rows above and below.
// Where it would reach left of plane column 0 and its half-width is not whole,
// its first column is one further right.
void paint(grid_t &g, int x, int y, int w, int col) {
    static const int left[] = {0, -1, -2, -2, -3, -4, -4, -5};
    static const int right[] = {0, 0, 1, 1, 2, 3, 3, 4};
    static const int rows[] = {0, 0, 0, 0, 1, 1, 1, 2};
    int l0 = left[w] + (x + left[w] < 0 && w != 3 && w != 6);
    for (int c = x + l0; c <= x + right[w]; c++)
        for (int l = -rows[w]; l <= rows[w]; l++)
            local_draw(g, c + 10, y + l + 4, 1, col, col, ' ');
}

struct segment {
    int x, y, value;
    bool operator==(const segment &) const = default;
};

// The marked cells of a plane, column by column.
std::vector<segment> marked(const worm_plane_t &p) {
    std::vector<segment> cells;
    for (int x = 0; x < WIDTH; x++)
        for (int y = 0; y < HEIGHT; y++)
            if (p[x][y] != 0)
                cells.push_back({x, y, p[x][y]});
    return cells;
}

std::vector<segment> listed(std::vector<segment> segs) {
    std::sort(segs.begin(), segs.end(),
              [](segment a, segment b) { return a.x != b.x ? a.x < b.x : a.y < b.y; });
    return segs;
}

}  // namespace

TEST(Worm, FrameParameterGivesTheTailSteps) {
    std::vector<int> got;
    for (float i = WORM_START; i < WORM_END; i = worm_next(i))
        got.push_back(worm_x0(i));
    EXPECT_EQ(got, expected_x0());
    EXPECT_FLOAT_EQ(worm_next(1.0f), 1.0499999523f);
}

TEST(Worm, FirstFramesOfTheShowsTwoWorms) {
    struct {
        float wx, wy;
        std::vector<segment> segs;
    } setups[] = {
        {6.0f,
         4.0f,
         {{19, 0, 9}, {15, 1, 8}, {11, 2, 7}, {8, 4, 6}, {5, 6, 5}, {3, 8, 4}, {1, 10, 3}}},
        {4.0f,
         2.0f,
         {{0, 3, 9}, {3, 1, 8}, {6, 0, 7}, {11, 1, 6}, {16, 3, 5}, {22, 8, 4}, {28, 12, 3}}},
    };
    for (const auto &s : setups) {
        SCOPED_TRACE(s.wx);
        worm_plane_t p = {};
        worm_path(p, 20, s.wx, s.wy);
        EXPECT_EQ(marked(p), listed(s.segs));

        // Drawn tail first, each block in its colour over the earlier ones.
        local_fill(layer(3), 1, 7, 4, TRANSPARENT);
        worm_draw(p, layer(3), s.wx);
        EXPECT_TRUE(marked(p).empty());
        local_fill(expected, 1, 7, 4, TRANSPARENT);
        for (const segment &g : s.segs)
            paint(expected, g.x, g.y, 10 - g.value, static_cast<int>(10 - g.value + s.wx));
        EXPECT_TRUE(grid_is(layer(3), expected));
    }
}

TEST(Worm, BlocksNearColumnZeroLoseOneColumnOnTheLeft) {
    for (int w = 1; w <= 7; w++)
        for (int x = 0; x <= 7; x++) {
            worm_plane_t p = {};
            p[x][9] = 10 - w;
            local_fill(layer(2), 1, 7, 4, TRANSPARENT);
            worm_draw(p, layer(2), 6.0f);
            local_fill(expected, 1, 7, 4, TRANSPARENT);
            paint(expected, x, 9, w, w + 6);
            ASSERT_TRUE(grid_is(layer(2), expected)) << "w " << w << " x " << x;
        }
}

TEST(Worm, SegmentsOnOneCellLeaveTheHeadOnly) {
    // With divisors this large the whole body lies on the path's middle cell.
    worm_plane_t p = {};
    worm_path(p, 20, 1.0e7f, 1.0e7f);
    EXPECT_EQ(marked(p), (std::vector<segment>{{23, 8, 3}}));
}

TEST(Worm, ColoursAreNotReducedAndFourBecomesBlack) {
    EXPECT_EQ(worm_colour(7, 6.0f), 13);
    EXPECT_EQ(worm_colour(1, 4.0f), 5);
    EXPECT_EQ(worm_colour(7, -3.0f), 0);
    EXPECT_EQ(worm_colour(1, 3.9f), 0);
    EXPECT_EQ(worm_colour(1, -1.5f), 0);  // -0.5 truncates toward zero
    worm_plane_t p = {};
    p[30][8] = 3;
    worm_draw(p, layer(2), -3.0f);
    EXPECT_EQ(layer(2)[40][12], block(0));
}

TEST(Worm, RunsOneHundredTwentyFramesOnItsOwnLayer) {
    for (int n : {1, 3}) {
        SCOPED_TRACE(n);
        const float wx = n == 1 ? 6.0f : 4.0f, wy = n == 1 ? 4.0f : 2.0f;
        local_fill(layer(2), 0, 2, 2, 'q');
        fill(0, 3, 3, 'k');
        worm_params params = {wx, wy, n};
        recorder_start({.watched = n});
        worm(&params);
        recorder_stop();

        const auto &frames = recorded();
        ASSERT_EQ(frames.size(), 120u);
        for (const pause_record &f : frames)
            EXPECT_EQ(f.usec, 60000);
        // Cells no block covers: opaque blue on layer 1, transparent above it.
        EXPECT_EQ(frames[0].picture[0][0],
                  (framebuffer_point{n == 1 ? ' ' : TRANSPARENT, 1, 7, 4}));
        if (n == 1) {
            // The first frame: the tail at step 20, the head 9 by 5 cells at the left edge.
            // clang-format off
            EXPECT_TRUE(is_picture(frames[0].picture, 1, {
                {4, "............................77.................................................."},
                {5, ".......................8888....................................................."},
                {6, "...................9999........................................................."},
                {7, "...............aaaaaa..........................................................."},
                {8, "...............aaaaaa..........................................................."},
                {9, "...........bbbbbbbbaa..........................................................."},
                {10, "...........bbbbbbbb............................................................."},
                {11, ".........ccccccccbb............................................................."},
                {12, ".......dddddddddc..............................................................."},
                {13, ".......dddddddddc..............................................................."},
                {14, ".......ddddddddd................................................................"},
                {15, ".......ddddddddd................................................................"},
                {16, ".......ddddddddd................................................................"},
            }));
            // clang-format on
        } else {
            // Frame 60: the tail at step 78.
            // clang-format off
            EXPECT_TRUE(is_picture(frames[59].picture, 3, {
                {2, "................................................bbbbbbbbbb......................"},
                {3, "................................................bbbbbbbbbb......................"},
                {4, "................................................bbbbbbbbbb......................"},
                {5, "................................................bbbbbbbbbb......................"},
                {6, "................................................bbbbbbbbbba....................."},
                {7, "...................................................aaaaaaaa....................."},
                {8, "...................................................aaaaaaaa....................."},
                {10, "....................................................99999999...................."},
                {11, "....................................................99999999...................."},
                {12, "....................................................99999999...................."},
                {14, ".....................................................888888....................."},
                {15, ".....................................................888888....................."},
                {16, ".....................................................888888....................."},
                {18, ".....................................................7777......................."},
                {20, "..............................................55.6666..........................."},
            }));
            // clang-format on
        }
        EXPECT_TRUE(is_picture(frames.back().picture, n, n == 1 ? FIRST_LAST : SECOND_LAST));
        // The layer keeps the last frame; nothing else was written.
        EXPECT_TRUE(grid_is(layer(n), frames.back().picture));
        EXPECT_TRUE(grid_is(layer(2), {'q', 0, 2, 2}));
        EXPECT_TRUE(grid_is(screen, {'k', 0, 3, 3}));
    }
}

TEST(Worm, UnusableParametersDrawNothing) {
    worm_plane_t p = {};
    worm_path(p, 20, 0.0f, 4.0f);
    worm_path(p, 0, 6.0f, 0.0f);
    EXPECT_TRUE(marked(p).empty());

    struct {
        int n;
        float wx, wy;
    } bad[] = {{0, 6, 4}, {4, 6, 4}, {-1, 6, 4}, {1, 0, 4}, {3, 4, 0}, {1, 1e30f, 4}};
    for (auto b : bad) {
        for (int n = 1; n <= 6; n++)
            local_fill(layer(n), 0, 2, 2, 'q');
        worm_params params = {b.wx, b.wy, b.n};
        recorder_start();
        worm(&params);
        worm(nullptr);
        recorder_stop();
        EXPECT_TRUE(recorded().empty()) << b.n << " " << b.wx << " " << b.wy;
        for (int n = 1; n <= 6; n++)
            EXPECT_EQ(cell_get(layer(n)[40][12]).data, 'q') << n;
    }
}

TEST(Worm, TwoInstancesAsTheShowStartsThem) {
    // The other worm's pauses are skipped, so that its thread ends at once.
    recorder_start({.watched = 3, .others = 0});
    worm_params first = {6.0f, 4.0f, 1}, second = {4.0f, 2.0f, 3};
    pthread_t t;
    ASSERT_EQ(pthread_create(&t, nullptr, worm, &first), 0);
    worm(&second);
    pthread_join(t, nullptr);
    recorder_stop();

    EXPECT_EQ(recorded().size(), 120u);
    EXPECT_TRUE(is_picture(layer(1), 1, FIRST_LAST));
    EXPECT_TRUE(is_picture(layer(3), 3, SECOND_LAST));
}
