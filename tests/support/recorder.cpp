#include "recorder.h"

#include <thread>
#include <unistd.h>

#include "screen/render.h"
#include "screen/pause.h"

namespace {
std::vector<pause_record> records;
long max_records = 0;
std::thread::id owner;

void record(long usec) {
    // Threads the routine under test starts (crawlers, for instance) keep
    // their real pace; only the test's own thread is recorded.
    if (std::this_thread::get_id() != owner) {
        usleep(static_cast<useconds_t>(usec));
        return;
    }
    records.emplace_back();
    pause_record &r = records.back();
    r.usec = usec;
    r.mode = update_mode.load(std::memory_order_relaxed);
    r.layers = dbnum.load(std::memory_order_relaxed);
    for (int x = 0; x < WIDTH; x++)
        for (int y = 0; y < HEIGHT; y++)
            r.picture[x][y] = cell_get(screen[x][y]);
    if (max_records > 0 && static_cast<long>(records.size()) >= max_records)
        throw recorder_limit_reached{};
}
}  // namespace

void recorder_start(long limit) {
    records.clear();
    records.reserve(limit > 0 ? limit : 64);
    max_records = limit;
    owner = std::this_thread::get_id();
    set_pause_hook(record);
}

void recorder_stop() { set_pause_hook(nullptr); }

const std::vector<pause_record> &recorded() { return records; }

long recorded_total() {
    long sum = 0;
    for (const pause_record &r : records)
        sum += r.usec;
    return sum;
}
