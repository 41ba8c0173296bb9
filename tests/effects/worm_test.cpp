// The worm: its path, its blocks, its frames and the hand-over between the
// two instances of the worms scene.
#include <gtest/gtest.h>

#include <pthread.h>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "effects/effects.h"
#include "effects/worm.h"
#include "screen/screen.h"
#include "show/pause.h"

namespace {

// Layer snapshots taken at every pause of the test's own thread. Pauses of
// other threads are skipped too, so a worm thread finishes at once.
int watched_layer = 3;
std::thread::id owner;
std::vector<long> pauses;
std::vector<std::vector<framebuffer_point>> frames;

void record_layer(long usec) {
    if (std::this_thread::get_id() != owner)
        return;
    pauses.push_back(usec);
    std::vector<framebuffer_point> f;
    f.reserve(WIDTH * HEIGHT);
    grid_t &g = layer(watched_layer);
    for (int x = 0; x < WIDTH; x++)
        for (int y = 0; y < HEIGHT; y++)
            f.push_back(cell_get(g[x][y]));
    frames.push_back(std::move(f));
}

void watch(int n) {
    watched_layer = n;
    owner = std::this_thread::get_id();
    pauses.clear();
    frames.clear();
    set_pause_hook(record_layer);
}

grid_t expected;

// First difference between a grid and a snapshot, or "" when they agree.
std::string diff(const grid_t &g, const std::vector<framebuffer_point> &f) {
    for (int x = 0; x < WIDTH; x++)
        for (int y = 0; y < HEIGHT; y++) {
            const framebuffer_point &a = g[x][y], &b = f[x * HEIGHT + y];
            if (a.data != b.data || a.attr != b.attr || a.fg != b.fg || a.bg != b.bg) {
                std::ostringstream s;
                s << "cell " << x << "," << y << ": want " << int(a.data) << "/" << a.fg
                  << "/" << a.bg << " got " << int(b.data) << "/" << b.fg << "/" << b.bg;
                return s.str();
            }
        }
    return "";
}

std::vector<framebuffer_point> snapshot(grid_t &g) {
    std::vector<framebuffer_point> f;
    for (int x = 0; x < WIDTH; x++)
        for (int y = 0; y < HEIGHT; y++)
            f.push_back(cell_get(g[x][y]));
    return f;
}

// One frame as the routines draw it with the tail at path step x0.
void frame(grid_t &g, int x0, float wx, float wy, int my_id) {
    worm_plane_t p = {};
    worm_path(p, x0, wx, wy);
    worm_clear(g, my_id);
    worm_draw(p, g, wx);
}

// The tail's path step in each of the 120 frames: 20 twice, then one more a
// frame, except that 94 is skipped, up to 139.
std::vector<int> expected_x0() {
    std::vector<int> v{20};
    for (int x = 20; x <= 139; x++)
        if (x != 94)
            v.push_back(x);
    return v;
}

// The block of a segment of size w (1 to 7) around plane column x: columns
// relative to x, rows above and below, as far from column 0.
struct block { int left, right, rows; };
const block blocks[8] = {{}, {-1, 0, 0}, {-2, 1, 0}, {-2, 1, 0}, {-3, 2, 1},
                         {-4, 3, 1}, {-4, 3, 1}, {-5, 4, 2}};

// Paints a block the way the table gives it, with the first column one further
// right where it would reach left of plane column 0 and the half-width is not whole.
void paint(grid_t &g, int x, int y, int w, int col) {
    int left = blocks[w].left;
    bool whole = w == 3 || w == 6;
    if (x + left < 0 && !whole)
        left++;
    for (int c = x + left; c <= x + blocks[w].right; c++)
        for (int l = -blocks[w].rows; l <= blocks[w].rows; l++)
            local_draw(g, c + 10, y + l + 4, 1, col, col, ' ');
}

struct segment { int x, y, value; };

void expect_plane(const worm_plane_t &p, const std::vector<segment> &segs) {
    int marked = 0;
    for (int x = 0; x < WIDTH; x++)
        for (int y = 0; y < HEIGHT; y++)
            if (p[x][y] != 0) {
                marked++;
                bool listed = false;
                for (const segment &s : segs)
                    listed |= s.x == x && s.y == y && s.value == p[x][y];
                EXPECT_TRUE(listed) << x << "," << y << " = " << p[x][y];
            }
    EXPECT_EQ(marked, static_cast<int>(segs.size()));
}

bool all_zero(const worm_plane_t &p) {
    for (int x = 0; x < WIDTH; x++)
        for (int y = 0; y < HEIGHT; y++)
            if (p[x][y] != 0)
                return false;
    return true;
}

}  // namespace

TEST(Worm, FrameParameterGivesTheTailSteps) {
    std::vector<int> got;
    for (float i = WORM_START; i < WORM_END; i = worm_next(i))
        got.push_back(worm_x0(i));
    EXPECT_EQ(got, expected_x0());
    // The second frame's parameter is stored just below 1.05.
    EXPECT_FLOAT_EQ(worm_next(1.0f), 1.0499999523f);
    EXPECT_EQ(worm_x0(worm_next(1.0f)), 20);
}

TEST(Worm, FirstFramesOfTheShowsTwoWorms) {
    struct drawn { int x, y, w; };
    struct setup {
        float wx, wy;
        std::vector<segment> segs;
        int tail_col, head_col;
    } setups[] = {
        {6.0f, 4.0f, {{19, 0, 9}, {15, 1, 8}, {11, 2, 7}, {8, 4, 6}, {5, 6, 5}, {3, 8, 4}, {1, 10, 3}}, 7, 13},
        {4.0f, 2.0f, {{0, 3, 9}, {3, 1, 8}, {6, 0, 7}, {11, 1, 6}, {16, 3, 5}, {22, 8, 4}, {28, 12, 3}}, 5, 11},
    };
    for (const setup &s : setups) {
        SCOPED_TRACE(s.wx);
        worm_plane_t p = {};
        worm_path(p, 20, s.wx, s.wy);
        expect_plane(p, s.segs);

        // Drawn tail first, each block in its colour over the earlier ones.
        local_fill(expected, 1, 7, 4, TRANSPARENT);
        for (const segment &g : s.segs) {
            int w = 10 - g.value;
            paint(expected, g.x, g.y, w, static_cast<int>(w + s.wx));
        }
        local_fill(screen3, 0, 0, 0, 'x');
        worm_draw(p, screen3, s.wx);
        EXPECT_TRUE(all_zero(p));
        // worm_draw paints only the blocks; clear the rest as a frame does.
        for (int x = 0; x < WIDTH; x++)
            for (int y = 0; y < HEIGHT; y++)
                if (cell_get(screen3[x][y]).data == 'x')
                    cell_set(screen3[x][y], 1, 7, 4, TRANSPARENT);
        EXPECT_EQ(diff(expected, snapshot(screen3)), "");
        EXPECT_EQ(expected[s.segs[0].x + 10][s.segs[0].y + 4].fg, s.tail_col);
        EXPECT_EQ(expected[s.segs[6].x + 10][s.segs[6].y + 4].bg, s.head_col);
    }
    // The spot checks as the show's viewer sees them.
    frame(screen1, 20, 6.0f, 4.0f, 1);
    for (int c = 7; c <= 15; c++)
        for (int r = 12; r <= 16; r++)
            EXPECT_EQ(cell_get(screen1[c][r]).fg, 13) << c << "," << r;
    EXPECT_EQ(cell_get(screen1[6][14]).data, ' ');
    EXPECT_EQ(cell_get(screen1[6][14]).bg, 4);
    EXPECT_EQ(cell_get(screen1[28][4]).bg, 7);
    EXPECT_EQ(cell_get(screen1[29][4]).bg, 7);
    frame(screen3, 20, 4.0f, 2.0f, 3);
    EXPECT_EQ(cell_get(screen3[10][7]).bg, 5);
    EXPECT_EQ(cell_get(screen3[9][7]).data, TRANSPARENT);
    EXPECT_EQ(cell_get(screen3[11][7]).data, TRANSPARENT);   // one cell wide
    EXPECT_EQ(cell_get(screen3[33][14]).bg, 11);
    EXPECT_EQ(cell_get(screen3[42][18]).bg, 11);
    EXPECT_EQ(cell_get(screen3[43][18]).data, TRANSPARENT);
}

TEST(Worm, BlocksNearColumnZeroLoseOneColumnOnTheLeft) {
    for (int w = 1; w <= 7; w++)
        for (int x = 0; x <= 7; x++) {
            SCOPED_TRACE(testing::Message() << "w " << w << " x " << x);
            worm_plane_t p = {};
            p[x][9] = 10 - w;
            local_fill(screen2, 1, 7, 4, TRANSPARENT);
            worm_draw(p, screen2, 6.0f);
            local_fill(expected, 1, 7, 4, TRANSPARENT);
            paint(expected, x, 9, w, w + 6);
            ASSERT_EQ(diff(expected, snapshot(screen2)), "");
        }
}

TEST(Worm, SegmentsOnOneCellLeaveTheHeadOnly) {
    // With divisors this large the whole body lies on the path's middle cell.
    worm_plane_t p = {};
    worm_path(p, 20, 1.0e7f, 1.0e7f);
    expect_plane(p, {{23, 8, 3}});
}

TEST(Worm, ColoursAreNotReducedAndFourBecomesBlack) {
    EXPECT_EQ(worm_colour(7, 6.0f), 13);
    EXPECT_EQ(worm_colour(1, 4.0f), 5);
    EXPECT_EQ(worm_colour(7, -3.0f), 0);
    EXPECT_EQ(worm_colour(1, 3.9f), 0);
    EXPECT_EQ(worm_colour(1, 2.9f), 3);
    EXPECT_EQ(worm_colour(1, -1.5f), 0);   // -0.5 truncates toward zero
    worm_plane_t p = {};
    p[30][8] = 3;
    local_fill(screen2, 1, 7, 4, TRANSPARENT);
    worm_draw(p, screen2, -3.0f);
    framebuffer_point c = cell_get(screen2[40][12]);
    EXPECT_EQ(c.fg, 0);
    EXPECT_EQ(c.bg, 0);
    EXPECT_EQ(c.data, ' ');
    EXPECT_EQ(c.attr, 1);
}

TEST(Worm, RunsOneHundredTwentyFramesOnItsOwnLayer) {
    for (int n : {1, 3}) {
        SCOPED_TRACE(n);
        const float wx = n == 1 ? 6.0f : 4.0f, wy = n == 1 ? 4.0f : 2.0f;
        local_fill(screen2, 0, 2, 2, 'q');
        fill(0, 3, 3, 'k');
        wormx = wx;
        wormy = wy;
        id = n;
        watch(n);
        worm();
        set_pause_hook(nullptr);
        EXPECT_EQ(wormx.load(), 0.0f);
        EXPECT_EQ(wormy.load(), wy);

        const std::vector<int> x0 = expected_x0();
        ASSERT_EQ(pauses.size(), 120u);
        for (size_t k = 0; k < x0.size(); k++) {
            EXPECT_EQ(pauses[k], 60000);
            frame(expected, x0[k], wx, wy, n);
            ASSERT_EQ(diff(expected, frames[k]), "") << "frame " << k + 1;
        }
        // Cells no block covers: opaque blue on layer 1, transparent above it.
        framebuffer_point corner = frames[0][0];
        EXPECT_EQ(corner.data, n == 1 ? ' ' : TRANSPARENT);
        EXPECT_EQ(corner.attr, 1);
        EXPECT_EQ(corner.fg, 7);
        EXPECT_EQ(corner.bg, 4);
        // The layer keeps the last frame; nothing else was written.
        EXPECT_EQ(diff(expected, snapshot(layer(n))), "");
        for (int x = 0; x < WIDTH; x++)
            for (int y = 0; y < HEIGHT; y++) {
                ASSERT_EQ(cell_get(screen2[x][y]).data, 'q');
                ASSERT_EQ(cell_get(screen[x][y]).data, 'k');
            }
    }
}

TEST(Worm, UnusableParametersDrawNothing) {
    worm_plane_t p = {};
    worm_path(p, 20, 0.0f, 4.0f);
    worm_path(p, 0, 6.0f, 0.0f);
    EXPECT_TRUE(all_zero(p));

    struct { int n; float wx, wy; } bad[] = {{0, 6, 4}, {4, 6, 4}, {-1, 6, 4}, {1, 0, 4},
                                             {3, 4, 0}, {1, 1e30f, 4}};
    for (auto b : bad) {
        for (int n = 1; n <= 6; n++)
            local_fill(layer(n), 0, 2, 2, 'q');
        wormx = b.wx;
        wormy = b.wy;
        id = b.n;
        watch(1);
        worm();
        set_pause_hook(nullptr);
        EXPECT_TRUE(pauses.empty()) << b.n << " " << b.wx << " " << b.wy;
        EXPECT_EQ(wormx.load(), 0.0f);
        for (int n = 1; n <= 6; n++)
            EXPECT_EQ(cell_get(layer(n)[40][12]).data, 'q') << n;
    }
}

TEST(Worm, TwoInstancesAsTheShowStartsThem) {
    local_fill(screen1, 0, 0, 0, 'q');
    local_fill(screen3, 0, 0, 0, 'q');
    watch(3);
    wormx = 6.0f;
    wormy = 4.0f;
    id = 1;
    pthread_t t;
    ASSERT_EQ(pthread_create(&t, nullptr, worm, nullptr), 0);
    // The show waits 50 ms; waiting for the parameters to be taken is surer.
    while (wormx.load() != 0.0f)
        std::this_thread::yield();
    wormx = 4.0f;
    wormy = 2.0f;
    id = 3;
    worm();
    pthread_join(t, nullptr);
    set_pause_hook(nullptr);

    EXPECT_EQ(pauses.size(), 120u);
    frame(expected, 139, 6.0f, 4.0f, 1);
    EXPECT_EQ(diff(expected, snapshot(screen1)), "");
    frame(expected, 139, 4.0f, 2.0f, 3);
    EXPECT_EQ(diff(expected, snapshot(screen3)), "");
}
