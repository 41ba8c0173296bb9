// A pause hook for tests: records every pause of the show with a copy of the
// screen as it stood at that moment, and skips the wait. Pauses of other
// threads still really sleep.
#pragma once

#include <vector>

#include "screen/screen.h"

struct pause_record {
    long usec;
    grid_t picture;   // `screen` at the moment of the pause
    int mode;         // `update_mode` then
    int layers;       // `dbnum` then
};

// Installs the recording hook for the calling thread and forgets earlier records. With `limit` > 0 the
// hook throws recorder_limit_reached at that pause, which ends routines that
// never return (such as a border crawler) when they run on the test's thread.
void recorder_start(long limit = 0);
void recorder_stop();
const std::vector<pause_record> &recorded();
// Sum of all recorded pauses in microseconds.
long recorded_total();

struct recorder_limit_reached {};
