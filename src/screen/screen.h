// The cell grids and the primitives through which everything on screen is drawn.
//
// Every grid is 80 columns by 24 rows, indexed column first: grid[x][y].
// Any thread may write any cell at any time; the render thread reads them
// while they change. Each field is therefore read and written as a relaxed
// atomic (through std::atomic_ref), which keeps the unlocked sharing free of
// undefined behaviour without changing a byte of what is printed. A reader may
// still see the four fields of a cell from two different writes; the show
// accepts that tearing.
#pragma once

#include <atomic>

#include "stream_format.h"  // WIDTH and HEIGHT, the printed picture's size

// One character cell. `data` is the byte printed; on a layer the value 5 marks
// a transparent cell. `attr` is the SGR attribute (0 normal, 1 bold), `fg` and
// `bg` are colour numbers printed as 30 + fg and 40 + bg; the stream writer
// holds each printed number to 0..9999 (stream_param), so a colour outside
// -30..9969 or -40..9959 is printed at the nearer end.
struct framebuffer_point {
    char data;
    int attr;
    int fg;
    int bg;
};

using grid_t = framebuffer_point[WIDTH][HEIGHT];

extern grid_t screen;

// The layers, screen1 to screen6: grids of the same shape that only the scenes
// running several instances at once draw on, one instance a layer, and that
// the render thread composites when told to (render.h). A later layer is
// painted over an earlier one.
constexpr int LAYERS = 6;
// Layer n (1 to LAYERS) as a grid; 0 gives `screen`.
grid_t &layer(int n);

constexpr char TRANSPARENT = 5;

inline bool on_grid(int x, int y) { return x >= 0 && x < WIDTH && y >= 0 && y < HEIGHT; }
inline bool on_border(int x, int y) {
    return x == 0 || x == WIDTH - 1 || y == 0 || y == HEIGHT - 1;
}

// Relaxed atomic access to one cell, field by field.
inline framebuffer_point cell_get(framebuffer_point &p) {
    return {std::atomic_ref<char>(p.data).load(std::memory_order_relaxed),
            std::atomic_ref<int>(p.attr).load(std::memory_order_relaxed),
            std::atomic_ref<int>(p.fg).load(std::memory_order_relaxed),
            std::atomic_ref<int>(p.bg).load(std::memory_order_relaxed)};
}

inline void cell_set(framebuffer_point &p, int attr, int fg, int bg, char data) {
    std::atomic_ref<char>(p.data).store(data, std::memory_order_relaxed);
    std::atomic_ref<int>(p.attr).store(attr, std::memory_order_relaxed);
    std::atomic_ref<int>(p.fg).store(fg, std::memory_order_relaxed);
    std::atomic_ref<int>(p.bg).store(bg, std::memory_order_relaxed);
}

inline void cell_set(framebuffer_point &p, const framebuffer_point &v) {
    cell_set(p, v.attr, v.fg, v.bg, v.data);
}

// Whole `screen`, border included.
void fill(int attr, int fg, int bg, char data);
// Interior of `screen` only (columns 1 to 78, rows 1 to 22); the border keeps its cells.
void newfill(int attr, int fg, int bg, char data);
// One cell of `screen`; a cell outside the grid is skipped.
void draw(int x, int y, int attr, int fg, int bg, char data);
// The same two for a layer.
void local_fill(grid_t &local, int attr, int fg, int bg, char data);
void local_draw(grid_t &local, int x, int y, int attr, int fg, int bg, char data);
// Blits a NUL-terminated text onto `screen` with its top-left corner at (x, y):
// spaces are transparent, a newline starts the next line at column x, every
// other byte is written as a cell; cells outside the grid are skipped.
void mutta(int x, int y, int attr, int fg, int bg, const char *s);
