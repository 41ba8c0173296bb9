// The clock of a show binary run by the tests (demo_with_double): with
// SOUND_DOUBLE_SPEEDUP=N in the environment, the main thread's pauses are N
// times shorter (0 skips them) while every other thread keeps its real pace.
// Linked as an object, so that it takes hold when the binary starts.
#include <chrono>
#include <cstdlib>
#include <thread>

#include "screen/pause.h"

namespace {

std::thread::id main_thread;
long speedup = 0;

void hurry_main_pauses(long usec) {
    if (std::this_thread::get_id() == main_thread)
        usec = speedup > 0 ? usec / speedup : 0;
    if (usec > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(usec));
}

const bool installed = [] {
    const char *n = std::getenv("SOUND_DOUBLE_SPEEDUP");
    if (!n)
        return false;
    speedup = std::atol(n);
    main_thread = std::this_thread::get_id();
    set_pause_hook(hurry_main_pauses);
    return true;
}();

}  // namespace
