#include "screen/thread.h"

#include <cstring>
#include <mutex>
#include <pthread.h>

namespace {

// Threads that could not be started.
struct refused_thread {
    const char *name;
    int error;
};
constexpr int REFUSALS_KEPT = 256;  // more than the show starts
refused_thread refusals[REFUSALS_KEPT];
int refusal_count, refusals_dropped;
std::mutex refusals_lock;

void note_refusal(const char *name, int error) {
    std::lock_guard<std::mutex> hold(refusals_lock);
    if (refusal_count == REFUSALS_KEPT)
        refusals_dropped++;
    else
        refusals[refusal_count++] = {name, error};
}

}  // namespace

int start_thread(void *(*body)(void *), const void *arg, const char *name) {
    pthread_t t;
    if (int err = pthread_create(&t, nullptr, body, const_cast<void *>(arg))) {
        note_refusal(name, err);
        return err;
    }
    pthread_detach(t);
    return 0;
}

int say_thread_problems(std::FILE *to, const char *program) {
    std::lock_guard<std::mutex> hold(refusals_lock);
    for (int i = 0; i < refusal_count; i++)
        std::fprintf(to, "%s: cannot start %s: %s\n", program, refusals[i].name,
                     std::strerror(refusals[i].error));
    if (refusals_dropped)
        std::fprintf(to, "%s: cannot start %d more threads\n", program, refusals_dropped);
    return refusal_count + refusals_dropped;
}
