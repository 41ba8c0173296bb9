#include "screen/screen.h"

grid_t screen;

namespace {
grid_t screen1, screen2, screen3, screen4, screen5, screen6;
}  // namespace

grid_t &layer(int n) {
    static grid_t *const layers[LAYERS + 1] = {&screen,  &screen1, &screen2, &screen3,
                                               &screen4, &screen5, &screen6};
    return *layers[n];
}

void local_fill(grid_t &local, int attr, int fg, int bg, char data) {
    for (int y = 0; y < HEIGHT; y++)
        for (int x = 0; x < WIDTH; x++)
            cell_set(local[x][y], attr, fg, bg, data);
}

void fill(int attr, int fg, int bg, char data) { local_fill(screen, attr, fg, bg, data); }

void newfill(int attr, int fg, int bg, char data) {
    for (int y = 1; y < HEIGHT - 1; y++)
        for (int x = 1; x < WIDTH - 1; x++)
            cell_set(screen[x][y], attr, fg, bg, data);
}

void local_draw(grid_t &local, int x, int y, int attr, int fg, int bg, char data) {
    if (on_grid(x, y))
        cell_set(local[x][y], attr, fg, bg, data);
}

void draw(int x, int y, int attr, int fg, int bg, char data) {
    local_draw(screen, x, y, attr, fg, bg, data);
}

void mutta(int x, int y, int attr, int fg, int bg, const char *s) {
    int col = 0, line = 0;
    for (; *s; s++) {
        if (*s == ' ') {
            col++;
        } else if (*s == '\n') {
            line++;
            col = 0;
        } else {
            draw(x + col, y + line, attr, fg, bg, *s);
            col++;
        }
    }
}
