// Spinning particles: the three figures, where particles go as they spin, and
// the whole scene's frames and pauses.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

#include "art/art.h"
#include "cells.h"
#include "effects/effects.h"
#include "effects/snurra.h"
#include "one_cell_font.h"
#include "recorder.h"
#include "screen/screen.h"

namespace {

snurra_points points;

std::string row_of(const snurra_points &p, int y) {
    std::string s;
    for (int x = 0; x < WIDTH; x++)
        s += p[x][y] ? static_cast<char>(p[x][y]) : '.';
    return s;
}

int particles(const snurra_points &p) {
    int n = 0;
    for (int x = 0; x < WIDTH; x++)
        for (int y = 0; y < HEIGHT; y++)
            n += p[x][y] != 0;
    return n;
}

// Where the particle at (x, y) is drawn at step k, drift included.
std::pair<int, int> at(int x, int y, int k, int count) {
    int column, row;
    snurra_place(x, y, k, column, row);
    return {column + (count == 0 ? snurra_drift(k) : 0), row};
}

// The scene's blank interior: bold white spaces on black.
constexpr framebuffer_point BLANK = {' ', 1, 7, 0};

// A particle: its letter in a block of colour letter % 6 + 1.
framebuffer_point particle(char c) { return {c, 1, c % 6 + 1, c % 6 + 1}; }

}  // namespace

TEST(Snurra, TheThreeFigures) {
    snurra_figure(points, 0);  // the cross
    EXPECT_EQ(particles(points), 52);
    for (int y = 4; y <= 20; y++)
        EXPECT_EQ(points[39][y], y <= 12 ? 'B' : 'A') << y;
    EXPECT_EQ(row_of(points, 13).substr(23, 35), "DCCCCCCCCCCCCCCCADDDDDDDDDDDDDDDDDC");
    EXPECT_EQ(points[40][12], '+');

    snurra_figure(points, 1);  // the X: later writes win, the "+" last
    EXPECT_EQ(particles(points), 62);
    // Columns 24 to 56 of rows 4 to 20.
    const char *x_rows[] = {
        "D...............................C",  // 4
        ".BB...........................CC.", "...BB.......................CC...",
        ".....BB...................CC.....",
        ".......BB...............CC.......",  // 8
        ".........BB...........CC.........", "...........BB.......CC...........",
        ".............BB...CC.............",
        "...............C+D...............",  // 12
        ".............CC...DD.............", "...........CC.......DD...........",
        ".........CC...........DD.........",
        ".......CC...............DD.......",  // 16
        ".....CC...................DD.....", "...CC.......................DD...",
        ".CC...........................DD.",
        "................................B",  // 20
    };
    for (int y = 4; y <= 20; y++)
        EXPECT_EQ(row_of(points, y).substr(24, 33), x_rows[y - 4]) << y;

    snurra_figure(points, 2);  // the scatter, on an emptied grid
    EXPECT_EQ(particles(points), 25);
    const int scatter[][3] = {
        {55, 17, 'A'}, {55, 16, 'A'}, {53, 19, 'A'}, {51, 19, 'A'}, {57, 19, 'A'},
        {23, 19, 'A'}, {52, 7, 'B'},  {55, 9, 'B'},  {55, 5, 'B'},  {51, 5, 'B'},
        {70, 5, 'B'},  {15, 19, 'B'}, {27, 17, 'C'}, {28, 14, 'C'}, {25, 19, 'C'},
        {26, 15, 'C'}, {20, 15, 'C'}, {58, 16, 'C'}, {29, 7, 'D'},  {25, 11, 'D'},
        {25, 5, 'D'},  {29, 5, 'D'},  {28, 5, 'D'},  {52, 6, 'D'},  {40, 12, '+'}};
    for (const auto &c : scatter)
        EXPECT_EQ(points[c[0]][c[1]], c[2]) << c[0] << "," << c[1];
}

TEST(Snurra, ParticlesRunRoundTheirEllipses) {
    using P = std::pair<int, int>;
    // The X, first step.
    EXPECT_EQ(at(56, 4, 1, 1), P(55, 4));
    EXPECT_EQ(at(56, 20, 1, 1), P(56, 19));
    EXPECT_EQ(at(24, 4, 1, 1), P(24, 5));
    EXPECT_EQ(at(25, 19, 1, 1), P(26, 19));
    EXPECT_EQ(at(40, 12, 1, 1), P(40, 12));
    // Just past a quarter turn.
    EXPECT_EQ(at(56, 4, 181, 1), P(24, 5));
    EXPECT_EQ(at(56, 20, 181, 1), P(55, 4));
    // One turn later every particle is back.
    for (int x = 0; x < WIDTH; x++)
        for (int y = 0; y < HEIGHT; y++)
            ASSERT_EQ(at(x, y, 721, 1), at(x, y, 1, 1)) << x << "," << y;
    // The cross drifts: from column -10 at the first step to 64 at the last.
    EXPECT_EQ(at(40, 12, 1, 0), P(-10, 12));
    EXPECT_EQ(at(57, 13, 1, 0), P(7, 12));
    EXPECT_EQ(at(23, 13, 1, 0).first, -26);
    EXPECT_EQ(snurra_drift(39), -50);
    EXPECT_EQ(snurra_drift(40), -49);
    EXPECT_EQ(at(40, 12, 2991, 0), P(64, 12));
    EXPECT_EQ(at(39, 20, 2991, 0), P(64, 23));
    EXPECT_EQ(at(57, 13, 2991, 0).first, 87);
    // The scatter, first step.
    EXPECT_EQ(at(70, 5, 1, 2), P(69, 5));
    EXPECT_EQ(at(15, 19, 1, 2), P(16, 19));
}

TEST(Snurra, LaterParticleInTheScanWinsASharedCell) {
    snurra_points p = {};
    p[40][5] = 'A';  // both land on (40, 5) at step 1
    p[41][5] = 'B';
    newfill(1, 7, 0, ' ');
    snurra_frame(p, 1, 1);
    EXPECT_EQ(screen[40][5], particle('B'));
}

TEST(Snurra, WholeSceneFramesAndPauses) {
    // A font whose glyph for each character is that character alone, so each
    // announcing word shows as one white cell per letter along row 7.
    static char saved[GLYPHS + 1][CARD_SIZE];
    std::memcpy(saved, letters, sizeof letters);
    use_one_cell_font();
    fill(0, 0, 0, 'z');
    recorder_start();
    snurra();
    recorder_stop();
    std::memcpy(letters, saved, sizeof letters);
    static grid_t after;
    snapshot(after, screen);
    const auto &r = recorded();
    ASSERT_EQ(r.size(), 1u + 300 + 1 + 300 + 1 + 600);
    EXPECT_EQ(recorded_total(), 7500000);

    size_t i = 0;
    for (int count = 0; count < 3; count++) {
        ASSERT_EQ(r[i].usec, count < 2 ? 300000 : 900000);
        // The word is up on a blank interior: "!!!" twice, then "prtiklz".
        const std::string word = count < 2 ? "!!!" : "prtiklz";
        const int left = count < 2 ? 24 : 6;
        for (int x = 1; x < WIDTH - 1; x++)
            for (int y = 1; y < HEIGHT - 1; y++) {
                const framebuffer_point &c = r[i].picture[x][y];
                const int at = (x - left) / 9;
                if (y == 7 && x >= left && (x - left) % 9 == 0 &&
                    at < static_cast<int>(word.size()))
                    ASSERT_EQ(c, (framebuffer_point{word[at], 1, 7, 7})) << count << " " << x;
                else
                    ASSERT_EQ(c, BLANK) << count << " " << x << "," << y;
            }
        i++;
        // Then the steps: on a blank interior only particles, each its
        // letter on its own colour.
        const size_t steps = count < 2 ? 300 : 600;
        for (size_t end = i + steps; i < end; i++) {
            ASSERT_EQ(r[i].usec, 5000);
            for (int x = 1; x < WIDTH - 1; x++)
                for (int y = 1; y < HEIGHT - 1; y++) {
                    const framebuffer_point &c = r[i].picture[x][y];
                    ASSERT_TRUE(c == BLANK ||
                                (std::strchr("ABCD+", c.data) && c == particle(c.data)))
                        << "record " << i << " cell " << x << "," << y << ": "
                        << ::testing::PrintToString(c);
                }
        }
    }
    ASSERT_EQ(i, r.size());
    // The last frame is wiped: the scene ends on a blank interior.
    for (int x = 1; x < WIDTH - 1; x++)
        for (int y = 1; y < HEIGHT - 1; y++)
            ASSERT_EQ(after[x][y], BLANK) << x << "," << y;

    // Known particles in the scene's own frames: the drift acts in the
    // first pass only.
    auto shows = [&](size_t frame, int x, int y, char c) {
        EXPECT_EQ(r[frame].picture[x][y], particle(c))
            << "record " << frame << " cell " << x << "," << y;
    };
    shows(1, 7, 12, 'C');     // cross, k 1: the "C" from (57, 13)
    shows(300, 64, 12, '+');  // cross, k 2991
    shows(302, 55, 4, 'C');   // X, k 1: the "C" from (56, 4)
    shows(302, 40, 12, 'D');  // the "D" from (41, 12) lands on the "+", later in the scan
    shows(603, 69, 5, 'B');   // scatter, k 1: the "B" from (70, 5)
    shows(603, 16, 19, 'B');
    shows(603, 40, 12, '+');

    // The cross's last step leaves an "A" on the bottom border row; the
    // clearing spares it and it is still there when the X is announced.
    const framebuffer_point last = r[300].picture[64][23];
    EXPECT_EQ(last.data, 'A');
    EXPECT_EQ(r[301].picture[64][23].data, 'A');
    EXPECT_EQ(r[301].picture[64][22], BLANK);
    EXPECT_EQ(r[0].picture[64][23].data, 'z');
}
