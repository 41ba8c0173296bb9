// Spinning particles: three figures of lettered particles, each announced by
// a big word and then spun about the screen centre, cleared and redrawn at
// every step. The first figure also drifts across the screen.
#include "effects/snurra.h"

#include <cmath>

#include "art/art.h"
#include "effects/effects.h"
#include "screen/pause.h"

namespace {

// Half a degree, as a single-precision constant: 720 steps make a turn.
constexpr float THETA = 0.008726646f;
constexpr int CX = 40;
constexpr int CY = 12;
constexpr int PLUS = 43;  // '+'

void clear_points(snurra_points &points) {
    for (int x = 0; x < WIDTH; x++)
        for (int y = 0; y < HEIGHT; y++)
            points[x][y] = 0;
}

void blank() { newfill(1, 7, 0, ' '); }

// The scatter of the third pass, written A, B, C, D in turn.
struct cell {
    int x, y;
};
// clang-format off
constexpr cell SCATTER[6][4] = {
    {{55, 17}, {52, 7}, {27, 17}, {29, 7}},
    {{55, 16}, {55, 9}, {28, 14}, {25, 11}},
    {{53, 19}, {55, 5}, {25, 19}, {25, 5}},
    {{51, 19}, {51, 5}, {26, 15}, {29, 5}},
    {{57, 19}, {70, 5}, {20, 15}, {28, 5}},
    {{23, 19}, {15, 19}, {58, 16}, {52, 6}},
};
// clang-format on

}  // namespace

int snurra_plus(int count) { return count == 0 || count == 1 ? 10 : 5; }

void snurra_figure(snurra_points &points, int count) {
    clear_points(points);
    if (count == 0) {
        // A cross: the vertical bar one column left of the centre, the
        // horizontal bar one row below it.
        for (int x = -17; x <= 16; x++) {
            points[39][12 + x / 2] = 'A';
            points[39][12 - x / 2] = 'B';
            points[40 - x][13] = 'C';
            points[40 + x][13] = 'D';
        }
    } else if (count == 1) {
        // An X.
        for (int x = -16; x <= 15; x++) {
            points[40 - x][12 + x / 2] = 'A';
            points[40 - x][12 - x / 2] = 'B';
            points[40 - x][12 + x / 2] = 'C';
            points[40 + x][12 + x / 2] = 'D';
        }
    } else {
        for (const auto &round : SCATTER)
            for (int letter = 0; letter < 4; letter++)
                points[round[letter].x][round[letter].y] = 'A' + letter;
    }
    points[CX][CY] = PLUS;
}

int snurra_drift(int k) { return ((k / 40) % 80) - 50; }

void snurra_place(int x, int y, int k, int &column, int &row) {
    const double a = k * static_cast<double>(THETA);
    const double c = std::cos(a);
    const double s = std::sin(a);
    const double p = c + s;
    const double m = c - s;
    const int dx = x - CX;
    const int dy = y - CY;
    // Both cases turn the same way; they differ in phase, so the figure
    // folds and stretches as it spins.
    if ((dx > 0 && dy > 0) || (dx < 0 && dy < 0)) {
        row = CY + static_cast<int>(m * dy);
        column = CX + static_cast<int>(p * dx);
    } else {
        row = CY + static_cast<int>(p * dy);
        column = CX + static_cast<int>(m * dx);
    }
}

void snurra_frame(const snurra_points &points, int k, int count) {
    const int o = count == 0 ? snurra_drift(k) : 0;
    for (int x = 0; x < WIDTH; x++)
        for (int y = 0; y < HEIGHT; y++) {
            const int v = points[x][y];
            if (v == 0)
                continue;
            int column, row;
            snurra_place(x, y, k, column, row);
            const int colour = v % 6 + 1;
            // Particles past an edge are simply not drawn this frame.
            draw(column + o, row, 1, colour, colour, static_cast<char>(v));
        }
}

void snurra() {
    snurra_points points;
    clear_points(points);
    blank();
    for (int count = 0; count < 3; count++) {
        clear_points(points);
        blank();
        if (count < 2)
            puttext("!!!", 300000);
        else
            puttext("prtiklz", 900000);
        blank();
        snurra_figure(points, count);
        const int plus = snurra_plus(count);
        for (int k = 1; k <= SNURRA_LAST_STEP; k += plus) {
            snurra_frame(points, k, count);
            pause_us(SNURRA_FRAME_US);
            blank();
        }
    }
}
