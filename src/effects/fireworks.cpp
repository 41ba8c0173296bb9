#include "effects/fireworks.h"

#include <cmath>
#include <cstdlib>
#include <ctime>

#include "effects/effects.h"
#include "screen/pause.h"
#include "screen/render.h"
#include "screen/screen.h"
#include "screen/thread.h"

namespace {

// The rocket's private grid: 0 empty, 1 the rocket, FIREWORKS_SPENT where it burst.
using fireworks_plane_t = int[WIDTH][HEIGHT];

// Half the height of a ring of radius r at offset t, truncated: the root in
// double precision kept in single before halving. Outside the ring (|t| > r)
// the value under the root is negative and counts as 0, which puts the cell on
// the centre row.
int half_height(float r, float t) {
    float under = r * r - t * t;
    if (!(under > 0.0f))
        return 0;
    float root = static_cast<float>(std::sqrt(static_cast<double>(under)));
    return static_cast<int>(root / 2);
}

// Finds the rocket (the one cell holding 1); false once it has burst.
bool find_rocket(const fireworks_plane_t &plane, int &rx, int &ry) {
    for (int x = 0; x < WIDTH; x++)
        for (int y = 0; y < HEIGHT; y++)
            if (plane[x][y] == 1) {
                rx = x;
                ry = y;
                return true;
            }
    return false;
}

}  // namespace

void fireworks_colours(int col1, int cols[5]) {
    cols[0] = col1;
    for (int k = 1; k < 5; k++)
        cols[k] = (col1 + k) % 6 + 1;
}

void fireworks_clear(grid_t &scr, int my_id) {
    local_fill(scr, 1, 7, 0, my_id == 1 ? ' ' : TRANSPARENT);
}

float fireworks_next_t(float t) { return static_cast<float>(t + 0.7); }

void fireworks_burst(grid_t &scr, int origx, int origy, float size,
                     const float tails[FIREWORKS_TAILS], int tailcount, const int cols[5]) {
    // All tail rings of a frame share one colour, picked by how many there are.
    // A run never has more than four; a longer one keeps the last colour.
    const int tail_colour = cols[tailcount < 4 ? tailcount : 4];
    for (float t = -size; t <= size; t = fireworks_next_t(t)) {
        const int dx = static_cast<int>(t);
        const int dy = half_height(size, t);
        local_draw(scr, origx + dx, origy + dy, 1, cols[0], cols[0], ' ');
        local_draw(scr, origx + dx, origy - dy, 1, cols[0], cols[0], ' ');
        for (int k = 1; k <= tailcount; k++) {
            const int dyk = half_height(tails[k], t);
            local_draw(scr, origx + dx, origy + dyk, 1, tail_colour, tail_colour, ' ');
            local_draw(scr, origx + dx, origy - dyk, 1, tail_colour, tail_colour, ' ');
        }
    }
}

void fireworks_grow(float &size, float tails[FIREWORKS_TAILS], int &tailcount) {
    if (size >= 1.0f && tailcount == 0) {
        tailcount = 1;
        tails[1] = static_cast<float>(tails[1] + (size - 1.0));
    }
    // A new ring starts at the newest one's radius less 3.99 (the last entry
    // is never passed, though no run comes near it).
    if (tails[tailcount] >= 4.0f && tailcount < FIREWORKS_TAILS - 1) {
        tailcount++;
        tails[tailcount] = static_cast<float>(tails[tailcount] + (tails[tailcount - 1] - 3.99));
    }
    for (int k = 0; k < FIREWORKS_TAILS; k++)
        if (tails[k] > 0.0f)
            tails[k] = static_cast<float>(tails[k] + 0.288);
    size = static_cast<float>(size + 0.3);
}

void *fireworks(void *layer_number) {
    int explode = 0;
    float size = 2.0f;
    int tailcount = 0;

    // Only the six layers are ours to draw on; any other number draws nothing.
    if (!layer_number)
        return nullptr;
    const int my_id = *static_cast<const int *>(layer_number);
    if (my_id < 1 || my_id > 6)
        return nullptr;
    grid_t &scr = layer(my_id);

    // srand reseeds the one generator the whole program shares, here with
    // the time times the layer. The rocket draws its colours, height, column
    // and sparks at once after it, so those mostly follow this seed and the
    // rockets of a volley, started within one second, still differ; but a
    // border crawler drawing its colours in between takes numbers from the
    // same sequence (and so shifts the rocket's), and the crawlers go on
    // from whichever seed the last rocket set.
    srand(static_cast<unsigned>(time(nullptr) * my_id));

    int cols[5];
    fireworks_colours(rand() % 6 + 1, cols);
    const int height = rand() % 13 + 5;

    fireworks_plane_t plane;
    for (int x = 0; x < WIDTH; x++)
        for (int y = 0; y < HEIGHT; y++)
            plane[x][y] = 0;
    plane[rand() % 57 + 13][22] = 1;

    float tails[FIREWORKS_TAILS];
    for (float &r : tails)
        r = 0.0f;

    const int p = rand() % 19 + 36;
    int origx = 0, origy = 0;

    for (int i = 0; i < p; i++) {
        fireworks_clear(scr, my_id);

        int rx, ry;
        const bool flying = find_rocket(plane, rx, ry);
        if (flying)
            local_draw(scr, rx, ry, 1, cols[0], cols[0], ' ');

        if (i == height && flying) {
            plane[rx][ry] = FIREWORKS_SPENT;
            origx = rx;
            origy = ry;
            explode = 1;
        }
        if (explode == 0 && flying) {
            plane[rx][ry] = 0;
            plane[rx][ry - 1] = 1;
        }
        if (explode == 1) {
            fireworks_burst(scr, origx, origy, size, tails, tailcount, cols);
            fireworks_grow(size, tails, tailcount);
        }
        pause_us(FIREWORKS_FRAME_US);
    }
    fireworks_clear(scr, my_id);
    return nullptr;
}

namespace {

// Each instance is started with its own layer; the launch gap is
// choreography, not hand-over time.
constexpr long FIREWORKS_LAUNCH_GAP_US = 100000;
constexpr long FIREWORKS_VOLLEY_HOLD_US = 500000;
// A volley's instances, one a layer.
constexpr int FIREWORKS_LAYERS[LAYERS] = {1, 2, 3, 4, 5, 6};

}  // namespace

void fireworks_volley() {
    print_layers(0);
    for (int i = 0; i < LAYERS - 1; i++) {
        start_thread(fireworks, &FIREWORKS_LAYERS[i], "a fireworks rocket");
        pause_us(FIREWORKS_LAUNCH_GAP_US);
        print_one_more_layer();
    }
    int last = FIREWORKS_LAYERS[LAYERS - 1];
    fireworks(&last);
    pause_us(FIREWORKS_VOLLEY_HOLD_US);
}
