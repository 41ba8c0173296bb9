#include "screen/thread.h"

#include <pthread.h>

int start_thread(void *(*body)(void *), const void *arg) {
    pthread_t t;
    if (int err = pthread_create(&t, nullptr, body, const_cast<void *>(arg)))
        return err;
    pthread_detach(t);
    return 0;
}
