// Threads of the show: started detached and never joined.
#pragma once

// Starts `body(arg)` on a detached thread; the body must not write through
// `arg`. Returns 0, or the error number when no thread could be created.
int start_thread(void *(*body)(void *), const void *arg = nullptr);
