// Cells compared and printed whole, and grids checked cell by cell.
#pragma once

#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "screen/screen.h"

inline bool operator==(const framebuffer_point &a, const framebuffer_point &b) {
    return a.data == b.data && a.attr == b.attr && a.fg == b.fg && a.bg == b.bg;
}

// How gtest prints a cell: 'c' attr/fg/bg, with the character as a number when it is not printable.
void PrintTo(const framebuffer_point &p, std::ostream *os);

// The blue field the fills and wipes leave: bold white spaces on blue.
constexpr framebuffer_point BLUE = {' ', 1, 7, 4};

// A solid block: a bold space in colour c on colour c.
constexpr framebuffer_point block(int c) { return {' ', 1, c, c}; }

// Every cell of `g` is want(x, y); names the first that is not.
template <class F>
::testing::AssertionResult grid_is(const grid_t &g, F want) {
    for (int x = 0; x < WIDTH; x++)
        for (int y = 0; y < HEIGHT; y++) {
            const framebuffer_point w = want(x, y);
            if (!(g[x][y] == w))
                return ::testing::AssertionFailure()
                       << "cell " << x << "," << y << " is " << ::testing::PrintToString(g[x][y])
                       << ", not " << ::testing::PrintToString(w);
        }
    return ::testing::AssertionSuccess();
}

// Every cell of `g` is `want`.
::testing::AssertionResult grid_is(const grid_t &g, const framebuffer_point &want);
// The two grids hold the same cells.
::testing::AssertionResult grid_is(const grid_t &g, const grid_t &want);

// A copy of a grid that threads may be writing, read cell by cell as they are.
void snapshot(grid_t &to, grid_t &from);

// Row y of a grid, one character a cell: '.' where the cell is `blank`, else
// its foreground colour as a hexadecimal digit.
std::string row_colours(const grid_t &g, int y, const framebuffer_point &blank = {});

// How many cells of `g` satisfy pred(cell).
template <class F>
int count_cells(const grid_t &g, F pred) {
    int n = 0;
    for (int x = 0; x < WIDTH; x++)
        for (int y = 0; y < HEIGHT; y++)
            n += pred(g[x][y]) ? 1 : 0;
    return n;
}

// Sets every cell of `g` to make(x, y).
template <class F>
void paint_grid(grid_t &g, F make) {
    for (int x = 0; x < WIDTH; x++)
        for (int y = 0; y < HEIGHT; y++)
            cell_set(g[x][y], make(x, y));
}

// A frame as the render thread prints it: 24 cursor-ups, then 24 rows of 80
// cells each printed as `cell`, each row ended by a newline.
std::string uniform_frame(const std::string &cell);
