// A recording stand-in for the sound library: logs every call with its
// arguments and can be told to fail. In a test process it is controlled through
// `sound_double`; a show binary linked against it (demo_with_double) reads the
// same settings from the environment on its first call (and its clock reads
// SOUND_DOUBLE_SPEEDUP, see clock.cpp):
//   SOUND_DOUBLE_VERSION  the version to report (default 3.75)
//   SOUND_DOUBLE_FAIL     "init", or the file name of a module that fails to load
//   SOUND_DOUBLE_LOG      a file to append one line per call to
#pragma once

#include <functional>
#include <string>
#include <vector>

struct sound_double_state {
    float version = 3.75f;
    bool fail_init = false;
    std::string fail_load;   // module file name that fails to load
    int start_volume = 256;  // master volume of a freshly loaded module
    std::vector<std::string> calls;
    // Called after each logged call, for tests that interleave sound and pauses.
    std::function<void(const std::string &)> observer;
};

extern sound_double_state sound_double;

// Forgets calls and settings.
void sound_double_reset();
