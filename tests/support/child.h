// Runs a command through the shell and captures its standard output.
#pragma once

#include <sys/types.h>

#include <string>

struct child_result {
    int status;       // exit status, or -1 when it did not exit normally
    std::string out;  // everything it wrote on standard output
};

child_result run_child(const std::string &command);

// Whether the process runs: it exists and is no zombie waiting to be reaped.
bool running(pid_t pid);
