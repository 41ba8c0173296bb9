// The cell grid, its primitives, and the bytes the render thread prints.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "cells.h"
#include "screen/render.h"
#include "screen/screen.h"

namespace {

::testing::AssertionResult cell_is(int x, int y, char data, int attr, int fg, int bg) {
    framebuffer_point c = cell_get(screen[x][y]);
    if (c == framebuffer_point{data, attr, fg, bg})
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "cell (" << x << "," << y << ") holds " << ::testing::PrintToString(c);
}

// The cells of `screen` from (x, y) rightwards hold `text` in the colours of
// `look`; a '.' stands for the untouched fill, normal white on black.
::testing::AssertionResult row_is(int x, int y, const std::string &text, framebuffer_point look) {
    for (std::size_t k = 0; k < text.size(); k++) {
        const int at = x + static_cast<int>(k);
        ::testing::AssertionResult r = text[k] == '.'
                                           ? cell_is(at, y, '.', 0, 7, 0)
                                           : cell_is(at, y, text[k], look.attr, look.fg, look.bg);
        if (!r)
            return r;
    }
    return ::testing::AssertionSuccess();
}

// The frame as printf would make it from a grid, cell by cell.
std::string reference_frame(grid_t &g) {
    std::string out;
    for (int i = 0; i < FRAME_CURSOR_UPS; i++)
        out += CURSOR_UP;
    char cell[64];
    for (int y = 0; y < HEIGHT; y++) {
        for (int x = 0; x < WIDTH; x++) {
            framebuffer_point c = cell_get(g[x][y]);
            int n = snprintf(cell, sizeof cell, "%c[%d;%d;%dm%c", 27, c.attr, c.fg + 30, c.bg + 40,
                             c.data);
            out.append(cell, n);
        }
        out += '\n';
    }
    return out;
}

std::string frame() {
    static char buf[FRAME_MAX];
    return std::string(buf, encode_frame(buf));
}

}  // namespace

TEST(Primitives, FillCoversEveryCellAndLaterDrawWins) {
    fill(0, 7, 0, ' ');
    EXPECT_TRUE(cell_is(0, 0, ' ', 0, 7, 0));
    EXPECT_TRUE(cell_is(79, 23, ' ', 0, 7, 0));
    draw(5, 5, 1, 2, 3, 'a');
    draw(5, 5, 0, 6, 1, 'b');
    EXPECT_TRUE(cell_is(5, 5, 'b', 0, 6, 1));
}

TEST(Primitives, NewfillSparesTheBorder) {
    fill(0, 1, 2, 'o');
    newfill(1, 7, 4, ' ');
    for (auto [x, y] : {std::pair{0, 0}, {79, 23}, {0, 12}, {40, 0}, {79, 5}, {10, 23}})
        EXPECT_TRUE(cell_is(x, y, 'o', 0, 1, 2));
    EXPECT_TRUE(cell_is(1, 1, ' ', 1, 7, 4));
    EXPECT_TRUE(cell_is(78, 22, ' ', 1, 7, 4));
}

TEST(Primitives, DrawOutsideTheGridChangesNothing) {
    fill(0, 7, 0, '.');
    draw(80, 5, 1, 1, 1, 'X');
    draw(5, 24, 1, 1, 1, 'X');
    draw(-1, 0, 1, 1, 1, 'X');
    draw(0, -1, 1, 1, 1, 'X');
    local_draw(layer(1), 80, 0, 1, 1, 1, 'X');
    EXPECT_TRUE(grid_is(screen, {'.', 0, 7, 0}));
}

TEST(Primitives, MuttaBlitsWithTransparentSpacesAndNewlines) {
    fill(0, 7, 0, '.');
    mutta(10, 5, 1, 3, 4, "ab cd\nef");
    EXPECT_TRUE(row_is(10, 5, "ab.cd", {0, 1, 3, 4}));
    EXPECT_TRUE(row_is(10, 6, "ef.", {0, 1, 3, 4}));

    // Tabs, carriage returns and high bytes are drawn like any other byte.
    mutta(0, 10, 0, 1, 1, "\t\r\xff");
    EXPECT_TRUE(row_is(0, 10, "\t\r\xff", {0, 0, 1, 1}));
}

TEST(Primitives, MuttaClipsAtEveryEdgeAndEmptyTextDrawsNothing) {
    fill(0, 7, 0, '.');
    mutta(-2, 3, 1, 1, 1, "xyz");
    EXPECT_TRUE(row_is(0, 3, "z.", {0, 1, 1, 1}));

    mutta(78, 22, 1, 1, 1, "abc\ndef\nghi\n");
    EXPECT_TRUE(row_is(78, 22, "ab", {0, 1, 1, 1}));
    EXPECT_TRUE(row_is(78, 23, "de", {0, 1, 1, 1}));

    mutta(5, 5, 1, 1, 1, "");
    mutta(5, -3, 1, 1, 1, "a\nb\nc\nd");
    EXPECT_TRUE(row_is(5, 5, ".", {}));
    EXPECT_TRUE(row_is(5, 0, "d", {0, 1, 1, 1}));
}

TEST(Primitives, LocalFillAndDrawTouchOnlyTheirLayer) {
    fill(0, 7, 0, '.');
    local_fill(layer(3), 0, 0, 0, TRANSPARENT);
    local_draw(layer(3), 7, 8, 1, 13, 12, '#');
    EXPECT_EQ(layer(3)[7][8], (framebuffer_point{'#', 1, 13, 12}));
    EXPECT_EQ(layer(3)[0][0], (framebuffer_point{TRANSPARENT, 0, 0, 0}));
    EXPECT_TRUE(cell_is(7, 8, '.', 0, 7, 0));
    EXPECT_EQ(&layer(3), &layer(3));
    EXPECT_EQ(&layer(0), &screen);
}

TEST(Frame, DirectModePrintsScreenExactly) {
    print_screen();
    fill(1, 7, 4, ' ');
    draw(0, 0, 0, 2, 0, 'R');
    draw(79, 23, 1, 13, 12, '@');  // worm colours are printed unclamped
    draw(40, 12, 1, -1, 100, 'x');
    std::string f = frame();
    EXPECT_EQ(f, reference_frame(screen));
    EXPECT_EQ(f.substr(0, 6), "\x1b[A\x1b[A");
    EXPECT_NE(f.find("\x1b[1;37;44m "), std::string::npos);
    EXPECT_NE(f.find("\x1b[1;43;52m@"), std::string::npos);
    EXPECT_NE(f.find("\x1b[1;29;140mx"), std::string::npos);
    EXPECT_EQ(f.back(), '\n');
}

TEST(Frame, CompositingSkipsTransparentCellsAndKeepsScreensBorder) {
    fill(1, 7, 4, 'b');
    local_fill(layer(1), 0, 7, 0, ' ');
    local_fill(layer(2), 1, 1, 1, TRANSPARENT);
    local_draw(layer(2), 30, 10, 1, 2, 2, '*');
    local_fill(layer(3), 1, 5, 5, '!');  // beyond the printed layers: never seen
    print_layers(2);
    compose_layers();
    EXPECT_TRUE(grid_is(db, [](int x, int y) {
        return on_border(x, y)        ? framebuffer_point{'b', 1, 7, 4}
               : (x == 30 && y == 10) ? framebuffer_point{'*', 1, 2, 2}
                                      : framebuffer_point{' ', 0, 7, 0};
    }));
    EXPECT_EQ(frame(), reference_frame(db));

    // With no layer composited the last composite is printed unchanged.
    local_fill(layer(1), 1, 3, 3, 'q');
    print_layers(0);
    compose_layers();
    EXPECT_EQ(db[30][10], (framebuffer_point{'*', 1, 2, 2}));
    EXPECT_EQ(db[5][5], (framebuffer_point{' ', 0, 7, 0}));

    // Back in direct mode the frame is `screen` again, and `db` is kept.
    print_screen();
    EXPECT_EQ(frame(), reference_frame(screen));
    EXPECT_EQ(db[30][10], (framebuffer_point{'*', 1, 2, 2}));
}

TEST(Frame, TransparentCellOnEveryLayerKeepsThePreviousComposite) {
    for (int l = 1; l <= LAYERS; l++)
        local_fill(layer(l), 1, 1, 1, TRANSPARENT);
    db[20][20] = {'k', 0, 3, 3};
    print_layers(LAYERS);
    compose_layers();
    EXPECT_EQ(db[20][20], (framebuffer_point{'k', 0, 3, 3}));
    std::string f = frame();
    EXPECT_EQ(f.find(std::string(1, TRANSPARENT)), std::string::npos);
    print_screen();
}

// The show's end waits for the render thread's last frame only when that
// thread was started: without one it returns at once instead of hanging.
TEST(Render, StopWithoutARenderThreadReturnsAtOnce) {
    static std::atomic<bool> returned{false};
    std::thread([] {
        stop_render();
        returned = true;
    }).detach();
    for (int i = 0; i < 500 && !returned; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(returned);
}

// The wait that puts a drawing just before one of the render thread's frames,
// which start a 30 ms pause after the last was handed over and then every
// pause plus print.
TEST(Render, WaitForFrameLandsTheDrawingJustBeforeAFrameStarts) {
    // Handed over 10 ms ago after 1 ms of printing: frames start at 20, 51,
    // 82 ms; a drawing 75 ms ahead, 4 ms before a frame, waits 3 ms.
    EXPECT_EQ(wait_for_frame(0, -10000, 1000, 75000, 4000), 3000);
    // Already ready in time: no wait; a microsecond late: all but one of a frame.
    EXPECT_EQ(wait_for_frame(0, -10000, 1000, 78000, 4000), 0);
    EXPECT_EQ(wait_for_frame(0, -10000, 1000, 78001, 4000), 30999);
    // Asked during a print (the next start already passed): counted from it.
    EXPECT_EQ(wait_for_frame(0, -30500, 2000, 75000, 4000), 16500);
    // Nothing ahead, just handed over: until 4 ms before the next frame.
    EXPECT_EQ(wait_for_frame(500000, 500000, 0, 0, 4000), 26000);
    // Without a render thread printing there is no rhythm to wait for.
    EXPECT_EQ(wait_for_frame(75000, 4000), -1);
}
