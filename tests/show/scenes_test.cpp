// The scene sequence against the recording pause, with the real art: the modes
// and layers around the scenes that run several instances, the wipes, and the
// end card left on screen.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "art/art.h"
#include "cells.h"
#include "effects/effects.h"
#include "effects/signals.h"
#include "recorder.h"
#include "screen/render.h"
#include "show/show.h"
#include "temp_dir.h"
#include "thread_double.h"

namespace {

// Index of the first run of `n` pauses of `usec` each at or after `from`.
size_t find_run(const std::vector<pause_record> &r, size_t from, long usec, size_t n) {
    for (size_t i = from; i + n <= r.size(); i++) {
        size_t k = 0;
        while (k < n && r[i + k].usec == usec)
            k++;
        if (k == n)
            return i;
    }
    return r.size();
}

}  // namespace

TEST(Scenes, WholeSequenceModesLayersWipesAndEndCard) {
    ASSERT_EQ(chdir(SOURCE_DIR), 0);
    load_font();
    print_screen();
    fill(1, 7, 4, ' ');
    // The threads the scenes start (waves, card, rockets, a worm) skip their
    // pauses: they are done long before the end card, which they would
    // otherwise still be drawing over when the main thread runs slowly.
    recorder_start({.others = 0});
    // Scene by scene in the timeline's order, as the driver plays them: each
    // begins when the timeline says, the opening's length after the first
    // frame, and as much later as the fireworks' rockets held the show longer
    // than their shortest.
    long opening_us = timeline[SCENE_CHING].start_us, later_us = 0;
    for (const scene_time &s : timeline) {
        if (s.scene == SCENE_OPENING)
            continue;
        EXPECT_EQ(opening_us + recorded_total() - later_us, s.start_us) << s.name;
        size_t from = recorded().size();
        play_scene(s.scene);
        // Each volley's last rocket holds the show for 36 to 54 of its frames.
        long frames = std::count_if(recorded().begin() + static_cast<long>(from), recorded().end(),
                                    [](const pause_record &p) { return p.usec == 60000; });
        if (s.scene == SCENE_FIREWORKS) {
            EXPECT_GE(frames, 72);
            EXPECT_LE(frames, 108);
            later_us = (frames - 72) * 60000;
            EXPECT_LE(later_us, s.longer_us);
        } else {
            EXPECT_EQ(s.longer_us, 0) << s.name;
        }
    }
    recorder_stop();
    const auto &r = recorded();

    // Every wipe is drawn on `screen` itself, in the direct mode.
    size_t wipes = 0;
    for (size_t at = find_run(r, 0, 50000, 24); at < r.size();
         at = find_run(r, at + 24, 50000, 24)) {
        wipes++;
        for (size_t k = 0; k < 24; k++)
            EXPECT_FALSE(r[at + k].layers_printed) << "wipe " << wipes;
    }
    EXPECT_GE(wipes, 11u);

    // Two fireworks volleys: each starts with no layer composited, then one
    // more layer every 100 ms up to five.
    std::vector<size_t> volleys;
    for (size_t i = 0; i + 5 <= r.size(); i++)
        if (r[i].usec == 100000 && r[i].layers_printed && r[i].layers == 0)
            volleys.push_back(i);
    ASSERT_EQ(volleys.size(), 2u);
    for (size_t v : volleys)
        for (int k = 0; k < 5; k++) {
            EXPECT_EQ(r[v + k].usec, 100000);
            EXPECT_TRUE(r[v + k].layers_printed);
            EXPECT_EQ(r[v + k].layers, k);
        }

    // The worms: three layers composited while they crawl, direct mode after.
    size_t worms = 0;
    for (size_t i = volleys[1]; i < r.size(); i++)
        if (r[i].layers_printed && r[i].layers == 3)
            worms++;
    EXPECT_GT(worms, 100u);
    EXPECT_FALSE(r.back().layers_printed);
    EXPECT_FALSE(printing_layers());

    // The scroller's 611 frames close the show, then the end card on blue.
    size_t scroller = find_run(r, 0, 40000, 611);
    ASSERT_LT(scroller, r.size());
    EXPECT_EQ(scroller + 611, r.size());
    char end_card[CARD_SIZE];
    read_art(end_card, sizeof end_card, "grafik/end");
    int x = 20, y = 5;
    for (const char *p = end_card; *p; p++) {
        if (*p == '\n') {
            x = 20;
            y++;
            continue;
        }
        framebuffer_point c = cell_get(screen[x][y]);
        if (*p == ' ')
            EXPECT_EQ(c.bg, 4) << x << "," << y;
        else
            EXPECT_EQ(c, (framebuffer_point{*p, 1, 7, 7})) << x << "," << y;
        x++;
    }

    std::printf("main thread's pauses add up to %.2f s over %zu pauses\n", recorded_total() / 1e6,
                r.size());
}

// Every thread the three many-instance scenes start begins 200 ms late, long
// after the driver has gone on to the next instance: each still draws with
// the parameters it was started with.
TEST(Scenes, InstancesStartedLateDrawWithTheirOwnParameters) {
    temp_dir dir{temp_dir::ENTER};  // no "omg" card: the card thread draws nothing
    fill(1, 7, 4, ' ');
    thread_double_delay(200000);
    recorder_start({.others = 0});

    // The three waves as the same waves drawn one after another.
    signal_waves();
    ASSERT_TRUE(thread_double_wait());
    grid_t late;
    snapshot(late, screen);
    fill(1, 7, 4, ' ');
    for (auto [colour, centre] : {std::pair{2, 5}, {1, 10}, {6, 15}})
        signal_wave(colour, centre);
    EXPECT_TRUE(grid_is(late, screen));

    // Layer 1 ends opaque black, layers 2 to 6 transparent.
    fireworks_volley();
    ASSERT_TRUE(thread_double_wait());
    EXPECT_TRUE(grid_is(layer(1), {' ', 1, 7, 0}));
    for (int n = 2; n <= 6; n++)
        EXPECT_TRUE(grid_is(layer(n), {TRANSPARENT, 1, 7, 0})) << n;

    // Layer 1's worm (head colour 13) opaque, layer 3's (head 11) transparent.
    worms();
    ASSERT_TRUE(thread_double_wait());
    recorder_stop();
    thread_double_delay(0);
    auto is = [](framebuffer_point want) { return [want](auto &p) { return p == want; }; };
    // Its head covers 45 cells; 1920 less its 65 cells are blue.
    EXPECT_EQ(count_cells(layer(1), is(block(13))) + count_cells(layer(1), is(BLUE)), 45 + 1855);
    EXPECT_EQ(count_cells(layer(3), is(block(11))), 45);
    EXPECT_EQ(count_cells(layer(3), is(block(13))), 0);
}
