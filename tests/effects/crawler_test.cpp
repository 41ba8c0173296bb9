// One border crawler over a whole lap, on the test's own thread.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>

#include <utility>
#include <vector>

#include "cells.h"
#include "effects/effects.h"
#include "recorder.h"
#include "screen/screen.h"

namespace {

// The cells a crawler paints, in order, on its first lap from (40, 0).
std::vector<std::pair<int, int>> first_lap() {
    std::vector<std::pair<int, int>> path;
    for (int x = 41; x <= 79; x++)
        path.push_back({x, 0});
    for (int y = 1; y <= 22; y++)
        path.push_back({79, y});
    for (int x = 78; x >= 0; x--)
        path.push_back({x, 23});
    for (int y = 22; y >= 1; y--)
        path.push_back({0, y});
    for (int x = 1; x <= 40; x++)
        path.push_back({x, 0});
    return path;
}

// A screen where every cell is different, so a restored cell can be told apart.
framebuffer_point original(int x, int y) {
    return {static_cast<char>('a' + (x + y) % 26), 0, x % 8, y % 8};
}

}  // namespace

TEST(Crawler, OneLapFollowsTheBorderAndRestoresEveryCell) {
    paint_grid(screen, original);

    const auto path = first_lap();
    ASSERT_EQ(path.size(), 202u);

    recorder_start({.limit = 203});
    EXPECT_THROW(draw_border(nullptr), recorder_limit_reached);
    recorder_stop();
    ASSERT_EQ(recorded().size(), 203u);
    // The crawler made its thread an idle-class thread (and this one goes back).
    EXPECT_EQ(sched_getscheduler(0), SCHED_IDLE);
    sched_param normal{};
    pthread_setschedparam(pthread_self(), SCHED_OTHER, &normal);

    for (size_t step = 0; step < 203; step++) {
        const pause_record &r = recorded()[step];
        EXPECT_EQ(r.usec, 10000);
        auto [px, py] = path[step % 202];
        const framebuffer_point &c = r.picture[px][py];
        ASSERT_EQ(c.data, 'R') << "step " << step + 1;
        ASSERT_EQ(c.attr, 1);
        ASSERT_TRUE(c.fg >= 1 && c.fg <= 7 && c.bg >= 1 && c.bg <= 7)
            << ::testing::PrintToString(c);
        ASSERT_TRUE(grid_is(r.picture,
                            [&](int x, int y) { return x == px && y == py ? c : original(x, y); }))
            << "step " << step + 1;
    }
    // The corner cuts: (79,22) is followed by (78,23), (0,1) by (1,0).
    EXPECT_EQ(path[60], std::make_pair(79, 22));
    EXPECT_EQ(path[61], std::make_pair(78, 23));
    EXPECT_EQ(path[161], std::make_pair(0, 1));
    EXPECT_EQ(path[162], std::make_pair(1, 0));
    // The start cell comes back at the end of the lap.
    EXPECT_EQ(path[201], std::make_pair(40, 0));
}

TEST(Crawler, ColoursAreDrawnAnewAtEveryStep) {
    fill(1, 7, 4, ' ');
    recorder_start({.limit = 400});
    EXPECT_THROW(draw_border(nullptr), recorder_limit_reached);
    recorder_stop();
    // Over 400 steps every one of the seven colours shows up on both sides.
    bool fg_seen[8] = {}, bg_seen[8] = {};
    const auto path = first_lap();
    for (size_t step = 0; step < recorded().size(); step++) {
        auto [x, y] = path[step % 202];
        const framebuffer_point &c = recorded()[step].picture[x][y];
        ASSERT_TRUE(c.fg >= 0 && c.fg < 8 && c.bg >= 0 && c.bg < 8);
        fg_seen[c.fg] = true;
        bg_seen[c.bg] = true;
    }
    for (int c = 1; c <= 7; c++) {
        EXPECT_TRUE(fg_seen[c]) << c;
        EXPECT_TRUE(bg_seen[c]) << c;
    }
    EXPECT_FALSE(fg_seen[0]);
    EXPECT_FALSE(bg_seen[0]);
}
