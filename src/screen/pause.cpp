#include "screen/pause.h"

#include <atomic>
#include <unistd.h>

namespace {
std::atomic<pause_hook_t> hook{nullptr};
}

void pause_us(long usec) {
    if (pause_hook_t h = hook.load(std::memory_order_relaxed)) {
        h(usec);
        return;
    }
    // usleep takes less than a second on some systems; split long pauses.
    while (usec >= 1000000) {
        sleep(1);
        usec -= 1000000;
    }
    if (usec > 0)
        usleep(static_cast<useconds_t>(usec));
}

void set_pause_hook(pause_hook_t h) { hook.store(h, std::memory_order_relaxed); }
