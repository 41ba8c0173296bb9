// Threads of the show: started detached and never joined.
#pragma once

#include <cstdio>

// Starts `body(arg)` on a detached thread; the body must not write through
// `arg`. Returns 0, or the error number when no thread could be created; then
// `name` (what the thread is, "a border crawler") and the reason are kept for
// say_thread_problems.
int start_thread(void *(*body)(void *), const void *arg, const char *name);

// Writes one line to `to` for each thread that could not be started since the
// program began, in the order they were refused:
// "<program>: cannot start <name>: <reason>". Returns the number of threads.
int say_thread_problems(std::FILE *to, const char *program);
