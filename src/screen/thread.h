// Threads of the show: started detached and never joined.
#pragma once

// Starts `body(arg)` on a detached thread; the body must not write through
// `arg`. Returns false, with nothing started, when no thread can be created.
bool start_thread(void *(*body)(void *), const void *arg = nullptr);
