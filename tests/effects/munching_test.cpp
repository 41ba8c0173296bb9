// Munching squares run against the recording pause in a temporary working
// directory, with and without a smile card.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <tuple>

#include "cells.h"
#include "effects/effects.h"
#include "recorder.h"
#include "screen/screen.h"
#include "temp_dir.h"

namespace {

constexpr framebuffer_point WHITE = {'#', 1, 7, 7};

// Blue cells among the drawn ones (columns 1 to 79, rows 1 to 23); every
// other drawn cell must be a white block.
int blue_cells(const grid_t &g) {
    int blue = 0;
    for (int x = 1; x < WIDTH; x++)
        for (int y = 1; y < HEIGHT; y++) {
            if (g[x][y] == BLUE)
                blue++;
            else
                EXPECT_EQ(g[x][y], WHITE) << x << "," << y;
        }
    return blue;
}

void run_scene() {
    fill(0, 0, 0, 'x');
    recorder_start();
    munching();
    recorder_stop();
}

}  // namespace

TEST(Munching, MarksAccumulateIntoTheStaircase) {
    temp_dir dir{temp_dir::ENTER};  // no smile card
    run_scene();
    const auto &rec = recorded();
    ASSERT_EQ(rec.size(), 31u);
    EXPECT_EQ(recorded_total(), 3800000);
    for (std::size_t i = 0; i < rec.size(); i++) {
        EXPECT_EQ(rec[i].usec, i < 30 ? 100000 : 800000);
        // Row 0 and column 0 keep the blue fill.
        for (int x = 0; x < WIDTH; x++)
            EXPECT_EQ(rec[i].picture[x][0], BLUE);
        for (int y = 0; y < HEIGHT; y++)
            EXPECT_EQ(rec[i].picture[0][y], BLUE);
    }

    const grid_t &first = rec[0].picture;
    EXPECT_EQ(blue_cells(first), 76);
    for (int y = 1; y < HEIGHT; y++) {
        EXPECT_EQ(first[1][y], WHITE) << y;  // marked in row 0 only
        EXPECT_EQ(first[48][y], WHITE) << y;
        EXPECT_EQ(first[49][y], WHITE) << y;
    }
    EXPECT_TRUE(first[2][1] == BLUE && first[3][1] == BLUE);
    EXPECT_TRUE(first[4][2] == BLUE && first[5][2] == BLUE);
    EXPECT_TRUE(first[46][23] == BLUE && first[47][23] == BLUE);
    EXPECT_TRUE(first[78][15] == BLUE && first[79][15] == BLUE);

    const grid_t &second = rec[1].picture;
    EXPECT_EQ(blue_cells(second), 151);
    EXPECT_EQ(second[1][1], BLUE);
    EXPECT_TRUE(second[4][3] == BLUE && second[5][3] == BLUE);
    EXPECT_TRUE(second[2][1] == BLUE && second[4][2] == BLUE);  // the first frame's marks stay

    // After the thirtieth frame: eight white blocks of 4 by 2 down a staircase.
    const grid_t &last = rec[29].picture;
    EXPECT_EQ(blue_cells(last), 1753);
    for (int b = 0; b < 8; b++) {
        const int row = 8 + 2 * b, col = 44 - 4 * b;
        for (int x = col; x < col + 4; x++)
            for (int y = row; y < row + 2; y++)
                EXPECT_EQ(last[x][y], WHITE) << x << "," << y;
    }

    // The closing picture is the blue fill alone.
    EXPECT_TRUE(grid_is(rec[30].picture, BLUE));
}

// The smile card lies over every frame and the closing picture; a card longer
// than 499 bytes is cut there, so its text ends inside its 500-byte buffer.
TEST(Munching, SmileCardOnTopAndCutAt499Bytes) {
    temp_dir dir{temp_dir::ENTER};
    dir.write("grafik/smile",
              "S" + std::string(496, ' ') + "\nZQ");  // 500 bytes: the Q is byte 500
    run_scene();
    const auto &rec = recorded();
    ASSERT_EQ(rec.size(), 31u);
    for (std::size_t i = 0; i < rec.size(); i++) {
        SCOPED_TRACE("pause " + std::to_string(i + 1));
        const grid_t &g = rec[i].picture;
        for (auto [x, y, c] : {std::tuple{31, 8, 'S'}, std::tuple{31, 9, 'Z'}}) {
            EXPECT_EQ(g[x][y], (framebuffer_point{c, 1, 7, 7}));
        }
        EXPECT_NE(g[32][9].data, 'Q');
    }
    // The card's spaces leave the grid showing.
    EXPECT_EQ(rec[0].picture[40][8], WHITE);
    EXPECT_EQ(rec[30].picture[32][9], BLUE);
    EXPECT_EQ(rec[30].picture[40][8], BLUE);
}
