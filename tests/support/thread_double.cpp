#include "thread_double.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <thread>

extern "C" int __real_pthread_create(pthread_t *, const pthread_attr_t *, void *(*)(void *),
                                     void *);

namespace {

std::atomic<long> delay_us{0};
// How many creations succeed before every later one fails; -1: all succeed.
const long allowed = [] {
    const char *f = std::getenv("THREAD_DOUBLE_FAIL");
    if (f && std::strcmp(f, "1") == 0)
        return 0L;
    const char *after = std::getenv("THREAD_DOUBLE_FAIL_AFTER");
    return after ? std::atol(after) : -1L;
}();
std::atomic<long> created{0};
std::atomic<int> running{0};

struct held_start {
    void *(*body)(void *);
    void *arg;
    long delay;
};

bool settled() { return running.load(std::memory_order_acquire) == 0; }

void *held_body(void *p) {
    const held_start h = *static_cast<held_start *>(p);
    delete static_cast<held_start *>(p);
    if (h.delay > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(h.delay));
    void *r = h.body(h.arg);
    // Release: what the body drew is seen by the test once thread_double_wait returns.
    running.fetch_sub(1, std::memory_order_release);
    return r;
}

}  // namespace

extern "C" int __wrap_pthread_create(pthread_t *t, const pthread_attr_t *a, void *(*body)(void *),
                                     void *arg) {
    if (allowed >= 0 && created.fetch_add(1, std::memory_order_relaxed) >= allowed)
        return EAGAIN;
    auto *h = new held_start{body, arg, delay_us.load(std::memory_order_relaxed)};
    running.fetch_add(1, std::memory_order_relaxed);
    if (const int r = __real_pthread_create(t, a, held_body, h)) {
        running.fetch_sub(1, std::memory_order_relaxed);
        delete h;
        return r;
    }
    return 0;
}

void thread_double_delay(long usec) { delay_us.store(usec, std::memory_order_relaxed); }

bool thread_double_wait() {
    for (int k = 0; k < 10000 && !settled(); k++)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return settled();
}
