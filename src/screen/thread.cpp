#include "screen/thread.h"

#include <pthread.h>

bool start_thread(void *(*body)(void *), const void *arg) {
    pthread_t t;
    if (pthread_create(&t, nullptr, body, const_cast<void *>(arg)) != 0)
        return false;
    pthread_detach(t);
    return true;
}
