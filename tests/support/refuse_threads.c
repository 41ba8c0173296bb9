/* Preloaded into a program (LD_PRELOAD) to refuse its threads as a system short
 * of them does: the first REFUSE_THREADS_AFTER threads start, every later one
 * is refused with EAGAIN. Without the variable every thread starts. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <pthread.h>
#include <stdatomic.h>
#include <stdlib.h>

typedef int (*create_fn)(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *);

int pthread_create(pthread_t *thread, const pthread_attr_t *attr, void *(*body)(void *),
                   void *arg) {
    static atomic_int asked;
    const char *after = getenv("REFUSE_THREADS_AFTER");
    if (after && atomic_fetch_add(&asked, 1) >= atoi(after))
        return EAGAIN;
    create_fn real = (create_fn)dlsym(RTLD_NEXT, "pthread_create");
    return real ? real(thread, attr, body, arg) : EAGAIN;
}
