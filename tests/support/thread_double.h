// Thread creation as the code under test sees it, for binaries linked with
// -Wl,--wrap=pthread_create (the thread_double object library): every new
// thread can be held back before its body runs; with THREAD_DOUBLE_FAIL=1 in
// the environment every creation fails, with THREAD_DOUBLE_FAIL_AFTER=N every
// one after the first N.
#pragma once

// Each thread started from now on sleeps `usec` before its body runs.
void thread_double_delay(long usec);
// Waits up to ten seconds until every thread started through the double has
// returned from its body; false when some are still running.
bool thread_double_wait();
