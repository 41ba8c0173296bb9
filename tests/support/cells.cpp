#include "cells.h"

#include "stream_format.h"

void PrintTo(const framebuffer_point &p, std::ostream *os) {
    unsigned char c = static_cast<unsigned char>(p.data);
    if (c >= 32 && c < 127)
        *os << '\'' << p.data << '\'';
    else
        *os << "byte " << int(c);
    *os << ' ' << p.attr << '/' << p.fg << '/' << p.bg;
}

::testing::AssertionResult grid_is(const grid_t &g, const framebuffer_point &want) {
    return grid_is(g, [&](int, int) { return want; });
}

::testing::AssertionResult grid_is(const grid_t &g, const grid_t &want) {
    return grid_is(g, [&](int x, int y) { return want[x][y]; });
}

void snapshot(grid_t &to, grid_t &from) {
    for (int x = 0; x < WIDTH; x++)
        for (int y = 0; y < HEIGHT; y++)
            to[x][y] = cell_get(from[x][y]);
}

std::string row_colours(const grid_t &g, int y, const framebuffer_point &blank) {
    std::string row;
    for (int x = 0; x < WIDTH; x++)
        row += g[x][y] == blank ? '.' : "0123456789abcdef"[g[x][y].fg & 15];
    return row;
}

std::string uniform_frame(const std::string &cell) {
    std::string f;
    for (int i = 0; i < FRAME_CURSOR_UPS; i++)
        f += CURSOR_UP;
    for (int y = 0; y < HEIGHT; y++) {
        for (int x = 0; x < WIDTH; x++)
            f += cell;
        f += '\n';
    }
    return f;
}
