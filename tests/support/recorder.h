// A pause hook for tests: records every pause of the test's own thread with a
// copy of the watched grid as it stood at that moment, and skips the wait.
// Pauses of the threads the routine under test starts are counted, and keep
// their pace or are shortened.
#pragma once

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <vector>

#include <gtest/gtest.h>

#include "screen/screen.h"

struct pause_record {
    long usec;
    grid_t picture;       // the watched grid at the moment of the pause
    bool layers_printed;  // whether the render thread printed the layers' composite then
    int layers;           // of how many layers
};

struct recorder_setup {
    int watched = 0;            // the grid recorded: 0 `screen`, 1 to 6 that layer
    long limit = 0;             // > 0: that pause throws recorder_limit_reached, which ends
                                // routines that never return (a border crawler)
    long others = 1;            // other threads' pauses are this many times shorter; 0 skips them
    void (*after)() = nullptr;  // called after each recorded pause
};

// Installs the recording hook for the calling thread and forgets earlier records and counts.
void recorder_start(const recorder_setup &setup = {});
void recorder_stop();
const std::vector<pause_record> &recorded();
// Sum of all recorded pauses in microseconds.
long recorded_total();

// Other threads since recorder_start: how many have paused at least once, and
// how many pauses they have begun (of `usec` only, unless it is negative).
int others_started();
long others_paused(long usec = -1);

struct recorder_limit_reached {};

// Runs `scene`, which seeds the random generator from the clock, until it
// starts and ends within one second (three tries at most), and returns that
// second: the seed it drew from. -1 when it never fitted.
long within_one_second(const std::function<void()> &scene);

// A row of a recorded frame as row_colours gives it, worked out by hand.
struct pinned_row {
    std::size_t frame;
    int row;
    const char *colours;
};
// Each pinned row is as recorded; names the first that is not.
::testing::AssertionResult rows_are(std::initializer_list<pinned_row> rows);
