// What the recorder needs of the system: starting programs with an argument
// vector (no shell sees a file name), ending them whatever happens, a
// temporary folder that goes with the recording, and the signal that stops it.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <csignal>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// The signal (SIGINT, SIGTERM or SIGHUP) that asked the recorder to stop, or 0.
extern std::atomic<int> stop_signal;

// Catches the three signals into stop_signal, without restarting the call
// they interrupt, and ignores SIGPIPE (a dead reader shows as a failed write).
void catch_stop_signals();

std::string errno_text(int error);  // strerror, in one place

// Writes all n bytes; false when the reader is gone, the disk is full or a
// stop signal arrived.
bool write_unless_stopped(int fd, const void *data, std::size_t n);

// An open file descriptor, closed when it goes.
struct fd_guard {
    int fd = -1;
    fd_guard() = default;
    explicit fd_guard(int f) : fd(f) {}
    fd_guard(const fd_guard &) = delete;
    fd_guard &operator=(const fd_guard &) = delete;
    ~fd_guard() { reset(); }
    void reset(int f = -1);
};

struct spawn_spec {
    std::vector<std::string> argv;                         // argv[0] is looked up on the PATH
    std::string dir;                                       // working directory; empty keeps ours
    int in = -1, out = -1, err = -1;                       // standard streams; -1 keeps ours
    std::vector<std::pair<std::string, std::string>> env;  // settings added to ours
    bool own_group = false;  // leads a process group of its own, which ends with it
};

// The programs the recorder started. Any still running when this goes are
// asked to end (SIGTERM), then made to (SIGKILL), and reaped. A program
// started in a group of its own is ended with all the group: what it started
// and left behind ends when it does.
struct children {
    std::vector<pid_t> running, groups;
    children() = default;
    children(const children &) = delete;
    children &operator=(const children &) = delete;
    ~children();

    // Starts a program; its pid, or -1 with `error` saying why it could not
    // start (including a program that is not there).
    pid_t spawn(const spawn_spec &s, std::string &error);
    // Waits for a child to end: its exit status, 128 + n when signal n ended
    // it. Gives up with -1 when a stop signal arrives or after `limit`
    // seconds (a negative limit waits as long as it takes). Adds its CPU
    // seconds to *cpu.
    int wait(pid_t pid, double limit = -1, double *cpu = nullptr);
    // Asks a child to end and waits for it.
    void end(pid_t pid);
};

// The recorder's claim on its output folder: a lock file in it, held while
// the recording runs and removed when this goes, so that a second recorder
// into the same folder is refused.
struct folder_lock {
    int fd = -1;
    std::string path;
    folder_lock() = default;
    folder_lock(const folder_lock &) = delete;
    folder_lock &operator=(const folder_lock &) = delete;
    ~folder_lock();
    // False with `error` saying why when another recorder holds the folder.
    bool take(const std::string &folder, std::string &error);
};

// A temporary folder, removed with all it holds when this goes.
struct temp_folder {
    std::string path;  // empty until made
    temp_folder() = default;
    temp_folder(const temp_folder &) = delete;
    temp_folder &operator=(const temp_folder &) = delete;
    ~temp_folder();
    // Makes a fresh folder named `prefix` and six random characters.
    bool make(const std::string &prefix, std::string &error);
};
