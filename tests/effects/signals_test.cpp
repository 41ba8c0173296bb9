// Signal waves and the card put up below them.
#include <gtest/gtest.h>

#include <pthread.h>
#include <unistd.h>

#include "art/art.h"
#include "cells.h"
#include "effects/effects.h"
#include "effects/signals.h"
#include "recorder.h"
#include "screen/screen.h"
#include "temp_dir.h"

namespace {

// Blue background every test starts from; a wave's cells differ from it.
void blank() { fill(1, 7, 4, ' '); }

struct wave_case {
    int ninja, pirate;
    int top, bottom;  // rows used
    int fg, bg;
    int first_row;                // row of the first '>', in column 1
    int steep_top, steep_bottom;  // rows drawn in column 4
};

// Checks that the cells that differ from the blank screen are exactly a
// wave's: arrows in its colours, inside its band, in every column 1 to 69
// and in no other, reaching both the top and the bottom row of the band.
void expect_wave(const grid_t &g, const wave_case &w) {
    bool top = false, bottom = false;
    for (int x = 0; x < WIDTH; x++) {
        int drawn = 0;
        for (int y = 0; y < HEIGHT; y++) {
            const framebuffer_point &c = g[x][y];
            if (c == BLUE)
                continue;
            drawn++;
            EXPECT_EQ(c, (framebuffer_point{'>', 1, w.fg, w.bg})) << "cell " << x << "," << y;
            EXPECT_TRUE(y >= w.top && y <= w.bottom) << "cell " << x << "," << y;
            top = top || y == w.top;
            bottom = bottom || y == w.bottom;
        }
        if (x >= 1 && x <= 69)
            EXPECT_GT(drawn, 0) << "column " << x;
        else
            EXPECT_EQ(drawn, 0) << "column " << x;
    }
    EXPECT_TRUE(top);
    EXPECT_TRUE(bottom);
    // The row follows the position itself, not the column it is drawn in.
    for (int y = 0; y < HEIGHT; y++)
        EXPECT_EQ(!(g[4][y] == BLUE), y >= w.steep_top && y <= w.steep_bottom) << "cell 4," << y;
}

// Column 4 holds the positions 4.0 to 4.9, where the sine of 0.75 times the
// position falls from sin 3.0 = 0.141 to sin 3.675 = -0.511: a steep part whose
// arrows fill A * 0.141 + centre down to A * -0.511 + centre, truncated.
const wave_case show_waves[] = {
    {2, 5, 2, 7, 1, 2, 7, 3, 5},        // red on green
    {1, 10, 8, 11, 0, 1, 11, 8, 10},    // black on red
    {6, 15, 12, 17, 5, 6, 17, 13, 15},  // magenta on cyan: 6 % 4 + 1 = 3 rows each way
};

}  // namespace

TEST(SignalWave, EachOfTheShowsWavesStepByStep) {
    for (const wave_case &w : show_waves) {
        SCOPED_TRACE(w.ninja);
        blank();
        recorder_start();
        pirate_ninja_robot_zombie_mutant_alien_signals_from_outer_space({w.ninja, w.pirate});
        recorder_stop();

        const auto &rec = recorded();
        ASSERT_EQ(rec.size(), 691u);
        EXPECT_EQ(recorded_total(), 691 * 6500L);
        for (const pause_record &r : rec)
            ASSERT_EQ(r.usec, 6500);
        // The first step has drawn one arrow, at column 1.
        EXPECT_EQ(
            count_cells(rec[0].picture, [](const framebuffer_point &p) { return !(p == BLUE); }),
            1);
        EXPECT_EQ(rec[0].picture[1][w.first_row].data, '>');
        expect_wave(rec.back().picture, w);  // the screen after the last step
    }
}

TEST(SignalWave, SinglePrecisionStepsSetTheColumnCounts) {
    int per_column[WIDTH + 1] = {};
    int steps = 0;
    float last = 0;
    for (float hm = SIGNAL_START; hm < SIGNAL_END; hm = signal_advance(hm)) {
        per_column[signal_cell_at(hm, 2, 5).column]++;
        steps++;
        last = hm;
    }
    EXPECT_EQ(steps, 691);
    EXPECT_NEAR(last, 69.9995, 0.0005);
    EXPECT_GT(signal_advance(last), 70.0f);
    EXPECT_EQ(per_column[0], 0);
    EXPECT_EQ(per_column[2], 11);
    EXPECT_EQ(per_column[37], 11);
    EXPECT_EQ(per_column[9], 9);
    EXPECT_EQ(per_column[69], 10);
    EXPECT_EQ(per_column[70], 0);
}

namespace {
// Waits up to five seconds for `count` to reach `value`.
void wait_for(int (*count)(), int value) {
    for (int k = 0; k < 5000 && count() < value; k++)
        usleep(1000);
    ASSERT_EQ(count(), value);
}

// Wave threads in their long sleep (100000 seconds, a tenth of it here: for good).
int parked() { return static_cast<int>(others_paused(100000 * 1000000L)); }

pthread_t start(void *(*body)(void *), const wave_params *wave) {
    pthread_t t;
    EXPECT_EQ(pthread_create(&t, nullptr, body, const_cast<wave_params *>(wave)), 0);
    return t;
}
}  // namespace

// The show's signal scene at a tenth of its pace: two thread twins and the
// card thread, then a wave on the show's own thread, all drawing at once.
TEST(SignalWave, WavesDrawAtOnceEachWithItsOwnParameters) {
    temp_dir dir{temp_dir::ENTER};  // no card: the card thread draws nothing here
    blank();
    // The other threads keep a tenth of their pace, so the waves still overlap.
    recorder_start({.others = 10});

    const wave_params waves[] = {{2, 5}, {1, 10}};
    pthread_detach(
        start(pirate_ninja_robot_zombie_mutant_alien_signals_from_outer_space_thread, &waves[0]));
    pthread_detach(
        start(pirate_ninja_robot_zombie_mutant_alien_signals_from_outer_space_thread, &waves[1]));
    pthread_t card = start(we_get_signal, nullptr);
    wait_for(others_started, 3);  // both waves and the card thread
    EXPECT_EQ(parked(), 0) << "the waves did not overlap";
    pirate_ninja_robot_zombie_mutant_alien_signals_from_outer_space({6, 15});

    wait_for(parked, 2);
    pthread_join(card, nullptr);
    recorder_stop();

    // Each band holds its own wave only; the rows below stay blank.
    grid_t band;
    for (const wave_case &w : show_waves) {
        SCOPED_TRACE(w.ninja);
        for (int x = 0; x < WIDTH; x++)
            for (int y = 0; y < HEIGHT; y++)
                band[x][y] = y >= w.top && y <= w.bottom ? cell_get(screen[x][y]) : BLUE;
        expect_wave(band, w);
    }
    for (int x = 0; x < WIDTH; x++)
        for (int y = 18; y < HEIGHT; y++)
            ASSERT_EQ(cell_get(screen[x][y]), BLUE);
}

TEST(WeGetSignal, CardComesSixSecondsAfterTheStart) {
    temp_dir dir{temp_dir::ENTER};
    dir.write("grafik/omg", "ab cd\nef");
    blank();
    recorder_start();
    EXPECT_EQ(we_get_signal(nullptr), nullptr);
    recorder_stop();
    ASSERT_EQ(recorded().size(), 1u);
    EXPECT_EQ(recorded()[0].usec, 6000000);
    // Nothing of the card before the wait is over.
    EXPECT_TRUE(grid_is(recorded()[0].picture, BLUE));

    // Top-left corner at (1, 18), white blocks; the space and the rest stay blue.
    EXPECT_TRUE(grid_is(screen, [](int x, int y) {
        char want = y == 18 && x >= 1 && x <= 5   ? "ab cd"[x - 1]
                    : y == 19 && x >= 1 && x <= 2 ? "ef"[x - 1]
                                                  : ' ';
        return want == ' ' ? BLUE : framebuffer_point{want, 1, 7, 7};
    }));
}

TEST(WeGetSignal, MissingCardLeavesTheScreenUnchanged) {
    temp_dir dir{temp_dir::ENTER};
    // Whatever the slot held before, a missing card draws nothing.
    std::fill(std::begin(kuka[19]), std::end(kuka[19]) - 1, 'z');
    blank();
    recorder_start();
    we_get_signal(nullptr);
    recorder_stop();
    ASSERT_EQ(recorded().size(), 1u);
    EXPECT_EQ(recorded()[0].usec, 6000000);
    EXPECT_TRUE(grid_is(screen, BLUE));
}
