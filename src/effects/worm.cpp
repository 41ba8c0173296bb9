#include "effects/worm.h"

#include <cmath>

#include "effects/effects.h"
#include "screen/pause.h"
#include "screen/render.h"
#include "screen/thread.h"

namespace {

// Half the height of the path (rows 0 to 17) and half its width (columns 0 to
// 47). The row scale is worked in double precision, the column scale in single.
constexpr double ROW_SCALE = 8.571428571428571;
constexpr float COLUMN_SCALE = 23.529411f;

// Where the plane's cell (0, 0) lands on the layer.
constexpr int LAYER_DX = 10;
constexpr int LAYER_DY = 4;

// Largest divisor magnitude that still gives a colour an int can hold.
constexpr float LARGEST_WORMX = 1.0e9f;

// A path coordinate as a cell index, or -1 when it is not a finite number
// inside the plane (only a zero divisor gets here).
int path_cell(float f1, int limit) {
    if (!(f1 >= 0.0f && f1 < static_cast<float>(limit)))
        return -1;
    return static_cast<int>(f1);
}

}  // namespace

float worm_next(float i) { return static_cast<float>(i + 0.05); }

// The product is exact in double precision, so 1.05 stored as 1.0499999523
// still gives 20.
int worm_x0(float i) { return static_cast<int>(20.0 * static_cast<double>(i)); }

void worm_path(worm_plane_t &plane, int x0, float my_wormx, float my_wormy) {
    for (int d = 1; d <= 7; d++) {
        const int t = x0 + d - 1;
        float f1 = static_cast<float>(std::sin(t / static_cast<double>(my_wormy)));
        f1 = static_cast<float>(f1 * ROW_SCALE + ROW_SCALE);
        const int y = path_cell(f1, HEIGHT);
        f1 = static_cast<float>(std::sin(t / static_cast<double>(my_wormx)));
        f1 = f1 * COLUMN_SCALE + COLUMN_SCALE;
        const int x = path_cell(f1, WIDTH);
        if (x < 0 || y < 0)
            continue;
        plane[x][y] = 10 - d;
    }
}

void worm_clear(grid_t &scr, int my_id) {
    local_fill(scr, 1, 7, 4, my_id == 1 ? ' ' : TRANSPARENT);
}

int worm_colour(int w, float my_wormx) {
    int col = static_cast<int>(w + my_wormx);
    if (col == 4)
        col = 0;
    return col;
}

void worm_draw(worm_plane_t &plane, grid_t &scr, float my_wormx) {
    // One scan of the whole plane per depth value, from the tail's (9) to the
    // head's (3), instead of sorting the seven segments.
    for (int a = 10; a >= 1; a--)
        for (int x = 0; x < WIDTH; x++)
            for (int y = 0; y < HEIGHT; y++) {
                if (plane[x][y] != a)
                    continue;
                const int w = 10 - a;
                const int col = worm_colour(w, my_wormx);
                for (int c = static_cast<int>(x - w / 1.5); c < x + w / 1.5; c++)
                    for (int l = static_cast<int>(-w / 3.5); l <= w / 3.5; l++)
                        local_draw(scr, c + LAYER_DX, y + l + LAYER_DY, 1, col, col, ' ');
                plane[x][y] = 0;
            }
}

void *worm(void *params) {
    if (!params)
        return nullptr;
    const worm_params &w = *static_cast<const worm_params *>(params);
    const float my_wormx = w.wormx;
    const float my_wormy = w.wormy;
    const int my_id = w.layer;

    // A worm needs one of the first three layers, and divisors that give a
    // position and a colour; anything else draws nothing at all.
    if (my_id < 1 || my_id > 3)
        return nullptr;
    if (!std::isfinite(my_wormx) || !std::isfinite(my_wormy) || my_wormx == 0.0f ||
        my_wormy == 0.0f || std::fabs(my_wormx) > LARGEST_WORMX)
        return nullptr;
    grid_t &scr = layer(my_id);

    worm_plane_t plane = {};
    worm_clear(scr, my_id);

    for (float i = WORM_START; i < WORM_END; i = worm_next(i)) {
        worm_path(plane, worm_x0(i), my_wormx, my_wormy);
        worm_clear(scr, my_id);
        worm_draw(plane, scr, my_wormx);
        pause_us(WORM_FRAME_US);
    }
    return nullptr;
}

namespace {

// The worm on layer 1 and the one crawling over it on layer 3, started 50 ms
// apart.
constexpr worm_params WORMS[] = {{6.0f, 4.0f, 1}, {4.0f, 2.0f, 3}};
constexpr int WORMS_PRINTED_LAYERS = 3;
constexpr long WORMS_LAUNCH_GAP_US = 50000;

}  // namespace

void worms() {
    print_layers(WORMS_PRINTED_LAYERS);
    start_thread(worm, &WORMS[0], "the worm on layer 1");
    pause_us(WORMS_LAUNCH_GAP_US);
    worm_params second = WORMS[1];
    worm(&second);
    print_screen();
}
