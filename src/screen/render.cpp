#include "screen/render.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

#include "clocks.h"
#include "screen/pause.h"
#include "screen/thread.h"

grid_t db;

namespace {

// What the render thread prints: `screen`, or the composite `db` of the first
// `dbnum` layers.
enum : int { PRINT_SCREEN, PRINT_LAYERS };
std::atomic<int> update_mode{PRINT_SCREEN};
std::atomic<int> dbnum{0};

// Where the render thread stands: not started by start_render, printing, asked
// to stop by stop_render, stopped between two frames.
enum : int { NOT_STARTED, PRINTING, STOPPING, STOPPED };
std::atomic<int> render_state{NOT_STARTED};

// When the render thread last handed a frame over and began its pause
// (microseconds of the monotonic clock, 0 before its first frame), and how
// long composing, encoding and printing that frame took.
std::atomic<long> frame_printed_us{0};
std::atomic<long> frame_cost_us{0};

// A frame handed over longer ago than this, or printed more slowly than the
// render thread pauses, says nothing about when the next one starts: the
// terminal is blocked or too slow to keep a rhythm.
constexpr long RHYTHM_LOST_US = 100000;

}  // namespace

void print_screen() { update_mode.store(PRINT_SCREEN, std::memory_order_relaxed); }

void print_layers(int count) {
    update_mode.store(PRINT_LAYERS, std::memory_order_relaxed);
    dbnum.store(count, std::memory_order_relaxed);
}

void print_one_more_layer() { dbnum.fetch_add(1, std::memory_order_relaxed); }

bool printing_layers() { return update_mode.load(std::memory_order_relaxed) == PRINT_LAYERS; }

int printed_layers() { return dbnum.load(std::memory_order_relaxed); }

void compose_layers() {
    int n = dbnum.load(std::memory_order_relaxed);
    for (int l = 1; l <= n && l <= LAYERS; l++) {
        grid_t &g = layer(l);
        for (int x = 0; x < WIDTH; x++)
            for (int y = 0; y < HEIGHT; y++) {
                framebuffer_point c = cell_get(g[x][y]);
                if (c.data != TRANSPARENT)
                    db[x][y] = c;
                if (on_border(x, y))
                    db[x][y] = cell_get(screen[x][y]);
            }
    }
}

namespace {

// Decimal text of a cell's number, 0 to PARAM_MAX, as printf's %d gives it.
inline char *put_param(char *p, int v) {
    if (v < 100) {
        if (v >= 10)
            *p++ = static_cast<char>('0' + v / 10);
        *p++ = static_cast<char>('0' + v % 10);
        return p;
    }
    char tmp[PARAM_DIGITS];
    int n = 0;
    do {
        tmp[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v);
    while (n)
        *p++ = tmp[--n];
    return p;
}

}  // namespace

std::size_t encode_frame(char *out) {
    char *p = out;
    for (int i = 0; i < FRAME_CURSOR_UPS; i++) {
        std::memcpy(p, CURSOR_UP, CURSOR_UP_BYTES);
        p += CURSOR_UP_BYTES;
    }
    for (int y = 0; y < HEIGHT; y++) {
        for (int x = 0; x < WIDTH; x++) {
            framebuffer_point c = printing_layers() ? db[x][y] : cell_get(screen[x][y]);
            std::memcpy(p, CELL_START, sizeof CELL_START - 1);
            p += sizeof CELL_START - 1;
            p = put_param(p, stream_param(c.attr));
            *p++ = PARAM_SEPARATOR;
            p = put_param(p, stream_param(c.fg, FG_BASE));
            *p++ = PARAM_SEPARATOR;
            p = put_param(p, stream_param(c.bg, BG_BASE));
            *p++ = CELL_END;
            *p++ = stream_byte(c.data);
        }
        *p++ = ROW_END;
    }
    return static_cast<std::size_t>(p - out);
}

bool write_all(const char *buf, std::size_t len) {
    while (len > 0) {
        ssize_t n = write(STDOUT_FILENO, buf, len);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // Standard output was left non-blocking: wait until it takes bytes again.
            pollfd p{STDOUT_FILENO, POLLOUT, 0};
            poll(&p, 1, -1);
            continue;
        }
        if (n <= 0)
            return false;
        buf += n;
        len -= static_cast<std::size_t>(n);
    }
    return true;
}

namespace {

// With nowhere to print, the show would play to nobody and end as if all went
// well: say why on standard error and end the process at once.
[[noreturn]] void output_failed(int err) {
    char msg[128];
    int n = snprintf(msg, sizeof msg, "demo: cannot write to standard output: %s\n",
                     err ? strerror(err) : "nothing written");
    if (n > 0) {
        ssize_t said = write(STDERR_FILENO, msg, static_cast<std::size_t>(n));
        (void)said;  // standard error may be gone as well; the status tells
    }
    _exit(1);
}

void print(const char *buf, std::size_t len) {
    errno = 0;
    if (!write_all(buf, len))
        output_failed(errno);
}

}  // namespace

void *update_screen(void *) {
    static char frame[FRAME_MAX];
    prctl(PR_SET_NAME, "render");  // so that top -H and the benchmarks can tell it apart

    // Reserve the 24 lines the frames are printed over.
    for (int y = 0; y < HEIGHT; y++) {
        std::memset(frame + y * (WIDTH + 1), RESERVE_FILL, WIDTH);
        frame[y * (WIDTH + 1) + WIDTH] = ROW_END;
    }
    print(frame, RESERVE_BYTES);

    for (int l = 1; l <= LAYERS; l++)
        local_fill(layer(l), 1, 7, 4, ' ');

    for (;;) {
        if (render_state.load(std::memory_order_acquire) == STOPPING) {
            render_state.store(STOPPED, std::memory_order_release);
            render_state.notify_all();
            for (;;)
                pause();
        }
        const long start = wall_us();
        if (printing_layers())
            compose_layers();
        print(frame, encode_frame(frame));
        const long printed = wall_us();
        frame_cost_us.store(printed - start, std::memory_order_relaxed);
        frame_printed_us.store(printed, std::memory_order_relaxed);
        pause_us(FRAME_PAUSE_US);
    }
    return nullptr;
}

long wait_for_frame(long now_us, long printed_us, long cost_us, long ahead_us, long margin_us) {
    // Frames start FRAME_PAUSE_US after the last was handed over, then once a
    // pause and a print later each.
    const long period = FRAME_PAUSE_US + cost_us;
    const long past = now_us + ahead_us + margin_us - (printed_us + FRAME_PAUSE_US);
    return ((-past) % period + period) % period;
}

long wait_for_frame(long ahead_us, long margin_us) {
    const long printed = frame_printed_us.load(std::memory_order_relaxed);
    const long cost = frame_cost_us.load(std::memory_order_relaxed);
    const long now = wall_us();
    if (printed == 0 || now - printed > RHYTHM_LOST_US || cost > FRAME_PAUSE_US)
        return -1;
    return wait_for_frame(now, printed, cost, ahead_us, margin_us);
}

int start_render() {
    render_state.store(PRINTING, std::memory_order_release);
    const int err = start_thread(update_screen, nullptr, "the render thread");
    if (err)
        render_state.store(NOT_STARTED, std::memory_order_release);
    return err;
}

void stop_render() {
    // Without a render thread there is no frame to wait for.
    int s = PRINTING;
    if (!render_state.compare_exchange_strong(s, STOPPING, std::memory_order_acq_rel))
        return;
    while ((s = render_state.load(std::memory_order_acquire)) != STOPPED)
        render_state.wait(s, std::memory_order_acquire);
}
