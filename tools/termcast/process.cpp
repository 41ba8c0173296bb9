#include "process.h"

#include "clocks.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

extern char **environ;

// Lock-free, so the handler may store into it.
std::atomic<int> stop_signal{0};

namespace {

void on_stop_signal(int sig) { stop_signal.store(sig, std::memory_order_relaxed); }

constexpr int STOP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};

// How long a child asked to end may take before it is killed.
constexpr double GRACE_S = 2.0;

// Our environment with the child's own settings in place of any of the same name.
std::vector<std::string> child_environment(const spawn_spec &s) {
    std::vector<std::string> env;
    for (char **e = environ; *e; e++) {
        std::string entry = *e;
        bool replaced = false;
        for (const auto &[key, value] : s.env)
            replaced = replaced || entry.rfind(key + "=", 0) == 0;
        if (!replaced)
            env.push_back(entry);
    }
    for (const auto &[key, value] : s.env)
        env.push_back(key + "=" + value);
    return env;
}

std::vector<char *> pointers(std::vector<std::string> &strings) {
    std::vector<char *> out;
    for (std::string &s : strings)
        out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

// In the child, between fork and exec: only async-signal-safe calls. A
// failure is written to `report` as the step and its errno.
[[noreturn]] void exec_child(const spawn_spec &s, char **argv, char **envp, int report) {
    for (int sig : STOP_SIGNALS)
        signal(sig, SIG_DFL);
    signal(SIGPIPE, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (s.own_group)
        setpgid(0, 0);
    int failure[2] = {0, 0};
    if (!s.dir.empty() && chdir(s.dir.c_str()) != 0)
        failure[0] = 1;
    else if ((s.in >= 0 && dup2(s.in, STDIN_FILENO) < 0) ||
             (s.out >= 0 && dup2(s.out, STDOUT_FILENO) < 0) ||
             (s.err >= 0 && dup2(s.err, STDERR_FILENO) < 0))
        failure[0] = 2;
    else {
        execvpe(argv[0], argv, envp);
        failure[0] = 3;
    }
    failure[1] = errno;
    ssize_t ignored = write(report, failure, sizeof failure);
    (void)ignored;
    _exit(127);
}

// Ends what is left of a process group whose leader has ended: asked, then
// made to, the ones that come to the recorder reaped (it is their subreaper).
void end_group(pid_t group) {
    kill(-group, SIGTERM);
    const double start = wall_seconds();
    for (;;) {
        while (waitpid(-group, nullptr, WNOHANG) > 0) {
        }
        if (kill(-group, 0) != 0)
            return;
        if (wall_seconds() - start > GRACE_S) {
            kill(-group, SIGKILL);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// Sends a signal to a child, or to its whole group when it leads one.
void signal_child(const children &kids, pid_t pid, int sig) {
    kill(std::find(kids.groups.begin(), kids.groups.end(), pid) != kids.groups.end() ? -pid : pid,
         sig);
}

}  // namespace

void catch_stop_signals() {
    struct sigaction sa {};
    sa.sa_handler = on_stop_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;  // no SA_RESTART: a blocked read or write returns EINTR
    for (int sig : STOP_SIGNALS)
        sigaction(sig, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

std::string errno_text(int error) { return std::strerror(error); }

bool write_unless_stopped(int fd, const void *data, std::size_t n) {
    const char *p = static_cast<const char *>(data);
    while (n > 0) {
        ssize_t w = write(fd, p, n);
        if (w < 0 && errno == EINTR && !stop_signal)
            continue;
        if (w <= 0)
            return false;
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

void fd_guard::reset(int f) {
    if (fd >= 0)
        close(fd);
    fd = f;
}

pid_t children::spawn(const spawn_spec &s, std::string &error) {
    std::vector<std::string> args = s.argv, env = child_environment(s);
    std::vector<char *> argv = pointers(args), envp = pointers(env);
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        error = "cannot make a pipe: " + errno_text(errno);
        return -1;
    }
    // What a group's programs leave behind when their parent ends comes to the
    // recorder, which can then reap it.
    if (s.own_group)
        prctl(PR_SET_CHILD_SUBREAPER, 1);
    pid_t pid = fork();
    if (pid == 0)
        exec_child(s, argv.data(), envp.data(), report[1]);
    if (pid > 0 && s.own_group)
        setpgid(pid, pid);  // also here, so that it holds before fork returns in either
    int fork_errno = errno;
    close(report[1]);
    fd_guard reader(report[0]);
    if (pid < 0) {
        error = "cannot start " + s.argv[0] + ": " + errno_text(fork_errno);
        return -1;
    }
    int failure[2];
    ssize_t n;
    while ((n = read(reader.fd, failure, sizeof failure)) < 0 && errno == EINTR) {
    }
    if (n == sizeof failure) {
        waitpid(pid, nullptr, 0);
        std::string where = s.dir.empty() ? "" : " in " + s.dir;
        std::string step = failure[0] == 1   ? "cannot enter " + s.dir + " to run "
                           : failure[0] == 2 ? "cannot hand its streams to "
                                             : "cannot run ";
        error = step + s.argv[0] + (failure[0] == 3 ? where : "") + ": " + errno_text(failure[1]);
        return -1;
    }
    running.push_back(pid);
    if (s.own_group)
        groups.push_back(pid);
    return pid;
}

int children::wait(pid_t pid, double limit, double *cpu) {
    const double start = wall_seconds();
    for (;;) {
        int status = 0;
        rusage ru{};
        pid_t got = wait4(pid, &status, WNOHANG, &ru);
        if (got == pid || (got < 0 && errno == ECHILD)) {
            std::erase(running, pid);
            if (std::erase(groups, pid) > 0)
                end_group(pid);
            if (got != pid)
                return -1;
            if (cpu)
                *cpu += cpu_of(ru);
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (stop_signal || (limit >= 0 && wall_seconds() - start > limit))
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void children::end(pid_t pid) {
    signal_child(*this, pid, SIGTERM);
    const double start = wall_seconds();
    while (waitpid(pid, nullptr, WNOHANG) == 0) {
        if (wall_seconds() - start > GRACE_S) {
            signal_child(*this, pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::erase(running, pid);
    if (std::erase(groups, pid) > 0)
        end_group(pid);
}

children::~children() {
    while (!running.empty())
        end(running.back());
}

folder_lock::~folder_lock() {
    if (fd < 0)
        return;
    unlink(path.c_str());
    close(fd);
}

bool folder_lock::take(const std::string &folder, std::string &error) {
    path = folder + "/.record.lock";
    for (;;) {
        fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
        struct stat held, named;
        if (fd < 0 || fstat(fd, &held) != 0 || !S_ISREG(held.st_mode)) {
            error = "cannot make the lock file " + path + ": " +
                    (fd < 0 ? errno_text(errno) : "something else is there");
            if (fd >= 0)
                close(fd);
            fd = -1;
            return false;
        }
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int e = errno;
            close(fd);
            fd = -1;
            error = e == EWOULDBLOCK ? "another recorder is recording into " + folder
                                     : "cannot lock " + path + ": " + errno_text(e);
            return false;
        }
        // Held, unless the recorder that held it removed it meanwhile: then the
        // lock is the one now at the path.
        if (stat(path.c_str(), &named) == 0 && named.st_dev == held.st_dev &&
            named.st_ino == held.st_ino)
            return true;
        close(fd);
        fd = -1;
    }
}

temp_folder::~temp_folder() {
    if (path.empty())
        return;
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

bool temp_folder::make(const std::string &prefix, std::string &error) {
    std::string name = prefix + "XXXXXX";
    if (!mkdtemp(name.data())) {
        error = errno_text(errno);
        return false;
    }
    path = name;
    return true;
}
