#include "recorder.h"

#include <atomic>
#include <chrono>
#include <ctime>
#include <map>
#include <mutex>
#include <thread>

#include "cells.h"
#include "screen/pause.h"
#include "screen/render.h"

namespace {
// The test's own thread's state: touched by that thread only.
std::vector<pause_record> records;
recorder_setup setup;

// Read by every thread that pauses.
std::atomic<std::thread::id> owner;
std::atomic<long> others_divisor{1};
std::atomic<long> generation{0};

// Counts of the other threads' pauses, never destroyed: threads such as the
// border crawlers go on pausing until the process has ended.
std::mutex &others_lock = *new std::mutex;
int started = 0;
std::map<long, long> &begun = *new std::map<long, long>;  // pause length -> pauses begun

void record(long usec) {
    if (std::this_thread::get_id() != owner.load(std::memory_order_relaxed)) {
        // A thread counts as started at its first pause since recorder_start.
        thread_local long seen = -1;
        const long now = generation.load(std::memory_order_relaxed);
        {
            std::lock_guard<std::mutex> g(others_lock);
            if (seen != now)
                started++;
            begun[usec]++;
        }
        seen = now;
        const long divisor = others_divisor.load(std::memory_order_relaxed);
        if (divisor > 0)
            std::this_thread::sleep_for(std::chrono::microseconds(usec / divisor));
        return;
    }
    records.emplace_back();
    pause_record &r = records.back();
    r.usec = usec;
    r.layers_printed = printing_layers();
    r.layers = printed_layers();
    snapshot(r.picture, layer(setup.watched));
    if (setup.after)
        setup.after();
    if (setup.limit > 0 && static_cast<long>(records.size()) >= setup.limit)
        throw recorder_limit_reached{};
}
}  // namespace

void recorder_start(const recorder_setup &s) {
    setup = s;
    records.clear();
    records.reserve(s.limit > 0 ? s.limit : 64);
    {
        std::lock_guard<std::mutex> g(others_lock);
        started = 0;
        begun.clear();
    }
    generation.fetch_add(1, std::memory_order_relaxed);
    others_divisor.store(s.others, std::memory_order_relaxed);
    owner.store(std::this_thread::get_id(), std::memory_order_relaxed);
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

int others_started() {
    std::lock_guard<std::mutex> g(others_lock);
    return started;
}

long others_paused(long usec) {
    std::lock_guard<std::mutex> g(others_lock);
    long n = 0;
    for (auto [length, count] : begun)
        if (usec < 0 || length == usec)
            n += count;
    return n;
}

long within_one_second(const std::function<void()> &scene) {
    for (int tries = 0; tries < 3; tries++) {
        const std::time_t start = std::time(nullptr);
        scene();
        if (std::time(nullptr) == start)
            return start;
    }
    return -1;
}

::testing::AssertionResult rows_are(std::initializer_list<pinned_row> rows) {
    for (const pinned_row &r : rows) {
        if (r.frame >= records.size())
            return ::testing::AssertionFailure() << "no frame " << r.frame;
        const std::string got = row_colours(records[r.frame].picture, r.row);
        if (got != r.colours)
            return ::testing::AssertionFailure()
                   << "frame " << r.frame << " row " << r.row << " is " << got;
    }
    return ::testing::AssertionSuccess();
}
