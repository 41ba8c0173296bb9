// The glyph font, big words and the sine scroller.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "art/art.h"
#include "cells.h"
#include "one_cell_font.h"
#include "recorder.h"
#include "temp_dir.h"

namespace {

const char *CREDITS =
    "k0d:  TROVE  -  mj00sic: QUARVELIN - mad greetz till: ZEBRO DORFO KWELLA YMP QX FLONDRIK GRAVO";

// A cell of the one-cell font's glyphs: any character, white on white.
bool is_glyph_cell(const framebuffer_point &p) { return p.attr == 1 && p.fg == 7 && p.bg == 7; }

struct corner {
    int x, y;
    char c;
    bool operator==(const corner &) const = default;
};

// Glyph cells of a picture, read column by column from the left.
std::vector<corner> glyph_cells(const grid_t &g) {
    std::vector<corner> out;
    for (int x = 0; x < WIDTH; x++)
        for (int y = 0; y < HEIGHT; y++)
            if (is_glyph_cell(g[x][y]))
                out.push_back({x, y, g[x][y].data});
    return out;
}

// Columns at which puttext drew glyphs, read along row 7.
std::vector<int> word_columns(const char *word) {
    fill(0, 2, 0, '.');
    recorder_start();
    puttext(word, 123);
    recorder_stop();
    std::vector<int> cols;
    for (const corner &k : glyph_cells(screen)) {
        EXPECT_EQ(k.y, 7);
        cols.push_back(k.x);
    }
    EXPECT_EQ(recorded().size(), 1u);
    if (!recorded().empty()) {
        EXPECT_EQ(recorded()[0].usec, 123);
    }
    return cols;
}

TEST(Font, TableAndLookup) {
    EXPECT_EQ(table[0], '-');
    EXPECT_EQ(table[4], '0');
    EXPECT_EQ(table[14], 'a');
    EXPECT_EQ(table[15], 'A');
    EXPECT_EQ(table[65], 'Z');
    EXPECT_EQ(table[66], 0);
    EXPECT_NE(glyph_index('a'), glyph_index('A'));
    EXPECT_EQ(glyph(':'), letters[2]);
    for (char c : {' ', '?', '\0', '\n', static_cast<char>(0xE4)})
        EXPECT_EQ(glyph(c), nullptr) << int(c);
}

TEST(Font, LoadsEachGlyphFromItsOwnFile) {
    temp_dir dir{temp_dir::ENTER};
    dir.write("grafik/letters/a", "lower\n");
    dir.write("grafik/letters/A", "UPPER\n");
    dir.write("grafik/letters/:", "colon\n");
    std::memset(letters, 'J', sizeof letters);
    load_font();
    EXPECT_STREQ(glyph('a'), "lower\n");
    EXPECT_STREQ(glyph('A'), "UPPER\n");
    EXPECT_STREQ(glyph(':'), "colon\n");
    // Missing glyph files leave their buffers empty.
    EXPECT_STREQ(glyph('b'), "");
    use_one_cell_font();
}

TEST(Puttext, GlyphColumnsCentreTheWord) {
    use_one_cell_font();
    EXPECT_EQ(word_columns("1"), (std::vector<int>{33}));
    EXPECT_EQ(word_columns("kod"), (std::vector<int>{24, 33, 42}));
    EXPECT_EQ(word_columns("2127"), (std::vector<int>{19, 28, 37, 46}));
    EXPECT_EQ(word_columns("v0rpa12"), (std::vector<int>{6, 15, 24, 33, 42, 51, 60}));
    EXPECT_EQ(word_columns("abcdefgh"), (std::vector<int>{1, 10, 19, 28, 37, 46, 55, 64}));
}

TEST(Puttext, SpaceKeepsItsPlaceAndDrawsNothing) {
    use_one_cell_font();
    fill(0, 2, 0, '.');
    puttext("x0r me", 0);
    EXPECT_EQ(glyph_cells(screen),
              (std::vector<corner>{
                  {10, 7, 'x'}, {19, 7, '0'}, {28, 7, 'r'}, {46, 7, 'm'}, {55, 7, 'e'}}));
    // The screen is not cleared: everything else is as before.
    EXPECT_EQ(screen[37][7].data, '.');
    EXPECT_EQ(screen[0][0].data, '.');
}

TEST(Puttext, EmptyWordOnlyPauses) {
    fill(0, 2, 0, '.');
    recorder_start();
    puttext("", 850000);
    recorder_stop();
    ASSERT_EQ(recorded().size(), 1u);
    EXPECT_EQ(recorded()[0].usec, 850000);
    EXPECT_TRUE(glyph_cells(screen).empty());
}

// After each recorded frame of the scroller the border is painted over with
// '#' again. A glyph drawn on the border stays there (the blue fill spares the
// border), so repainting it keeps every recorded frame down to the glyphs
// drawn in that frame.
void repaint_border() {
    for (int x = 0; x < WIDTH; x++)
        for (int y = 0; y < HEIGHT; y++)
            if (on_border(x, y))
                cell_set(screen[x][y], 0, 2, 0, '#');
}

// Runs the scroller over `text` with the one-cell font and returns, per frame,
// the glyph corners drawn, after checking what every frame has in common.
std::vector<std::vector<corner>> scroll(const std::string &text) {
    use_one_cell_font();
    fill(0, 2, 0, '#');
    recorder_start({.after = repaint_border});
    scrolla(text.c_str());
    recorder_stop();
    std::vector<std::vector<corner>> frames;
    for (const pause_record &r : recorded()) {
        EXPECT_EQ(r.usec, 40000);
        std::vector<corner> f = glyph_cells(r.picture);
        for (const corner &k : f) {
            EXPECT_TRUE(k.x % 2 == 0 && k.x >= 0 && k.x <= 78) << k.x;
            EXPECT_TRUE(k.y >= 4 && k.y <= 10) << k.y;
        }
        EXPECT_LE(f.size(), 7u);
        // The interior is a fresh blue field under the glyphs; the border is left alone.
        for (int x = 0; x < WIDTH; x++)
            for (int y = 0; y < HEIGHT; y++) {
                const framebuffer_point &p = r.picture[x][y];
                if (is_glyph_cell(p))
                    continue;
                if (on_border(x, y))
                    EXPECT_EQ(p.data, '#');
                else
                    EXPECT_EQ(p, BLUE) << x << "," << y;
            }
        frames.push_back(f);
    }
    return frames;
}

TEST(Scrolla, CreditsLine) {
    ASSERT_EQ(std::strlen(CREDITS), 94u);
    auto frames = scroll(CREDITS);
    // The show's run over this line, 611 frames, is counted with the scene sequence.
    const std::size_t n = frames.size();
    ASSERT_GT(n, 7u);
    for (int f = 1; f <= 7; f++)
        EXPECT_TRUE(frames[f - 1].empty()) << f;
    EXPECT_EQ(frames[7], (std::vector<corner>{{78, 5, 'k'}}));
    // The last glyph leaves at column 0 seven frames before the end.
    EXPECT_EQ(frames[n - 7], (std::vector<corner>{{0, 9, 'O'}}));
    for (std::size_t f = n - 5; f <= n; f++)
        EXPECT_TRUE(frames[f - 1].empty()) << f;
    // Every character of the line with a glyph is drawn in the frames it
    // crosses the screen; spaces never are.
    std::string seen;
    for (auto &f : frames)
        for (auto &k : f)
            if (k.x == 0)
                seen += k.c;
    std::string expected;
    for (const char *p = CREDITS; *p; p++)
        if (*p != ' ')
            expected += *p;
    EXPECT_EQ(seen, expected);
}

TEST(Scrolla, ShortTexts) {
    auto one = scroll("a");
    EXPECT_EQ(one.size(), 7u);
    for (auto &f : one)
        EXPECT_TRUE(f.empty());

    auto two = scroll("ab");
    ASSERT_EQ(two.size(), 13u);
    ASSERT_EQ(two.back().size(), 1u);
    EXPECT_EQ(two.back()[0].x, 68);
    EXPECT_EQ(two.back()[0].c, 'a');
    for (auto &f : two)
        for (auto &k : f)
            EXPECT_EQ(k.c, 'a');

    auto ten = scroll("abcdefghij");
    ASSERT_EQ(ten.size(), 65u);
    std::vector<int> cols;
    std::string chars;
    for (auto &k : ten.back()) {
        cols.push_back(k.x);
        chars += k.c;
    }
    EXPECT_EQ(cols, (std::vector<int>{0, 12, 24, 36, 48, 60, 72}));
    EXPECT_EQ(chars, "defghij");

    EXPECT_TRUE(scroll("").empty());
}

// Glyph rows follow the curve that stands still on the screen, at every frame
// and for texts up to the longest the canvas takes whole and beyond.
TEST(Scrolla, FramesFollowTheStandingCurve) {
    for (long chars : {1L, 2L, 10L, 94L, 146L, 200L}) {
        std::string text(chars, 'a');
        scroll_clear();
        long frames = (13 * chars + 1) / 2;  // the scroller's: 611 for the credits' 94
        for (long f = 1; f <= frames; f++) {
            scroll_glyph got[SCROLL_MAX_GLYPHS];
            int n = scroll_frame(text.c_str(), chars, 15 * chars + 122 - 2 * f, got);
            std::vector<corner> want;
            for (long i = 1; i <= chars; i++) {
                long x = 82 - 2 * f + 12 * i;  // start + 12 i - (15 n + 40)
                if (x < 0 || x > 79)
                    continue;
                int y = 7 + static_cast<int>(
                                3.1 * std::sin(0.2 * static_cast<double>(x + 15 * chars + 40)));
                want.push_back({static_cast<int>(x), y, 'a'});
            }
            std::vector<corner> have;
            for (int k = 0; k < n; k++)
                have.push_back({got[k].x, got[k].y, got[k].c});
            ASSERT_EQ(have, want) << chars << " characters, frame " << f;
        }
    }
}

TEST(Scrolla, OverlongTextIsClippedNotWrittenPastTheCanvas) {
    // Far past what the canvas holds: the run must finish without touching
    // memory outside the canvas (the sanitizer build checks the writes).
    std::string text(400, 'x');
    auto frames = scroll(text);
    EXPECT_EQ(frames.size(), 2600u);
}

}  // namespace
