#include "output_guard.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>

namespace {

// What stands at a path, in words for a message.
const char *kind_of(mode_t mode) {
    if (S_ISREG(mode))
        return "a regular file";
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISLNK(mode))
        return "a symbolic link";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    if (S_ISSOCK(mode))
        return "a socket";
    return "not a regular file";
}

std::string errno_says(int e) { return std::strerror(e); }

// The temporaries the signal handler removes: fixed slots, filled before
// they are marked used, so that the handler reads only whole paths.
constexpr int SLOTS = 16;
char slot_path[SLOTS][PATH_MAX];
std::atomic<bool> slot_used[SLOTS];
std::atomic<pid_t> child_to_end{0};
constexpr int CLEANUP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};

// Waits for the child asked to end: a program ending on SIGTERM may still
// write its output (sox finishes its picture), and it must be gone before
// its temporaries are. Two seconds at most, then it is killed.
void wait_for_end(pid_t pid) {
    for (int i = 0; i < 200; i++) {
        if (waitpid(pid, nullptr, WNOHANG) != 0)
            return;  // reaped, or no child of this process
        const timespec tick{0, 10'000'000};
        nanosleep(&tick, nullptr);
    }
    kill(pid, SIGKILL);
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

void on_cleanup_signal(int sig) {
    const int saved = errno;
    if (const pid_t pid = child_to_end.load(); pid != 0) {
        kill(pid, SIGTERM);  // a negative pid: the child's whole process group
        wait_for_end(pid < 0 ? -pid : pid);
    }
    for (int i = 0; i < SLOTS; i++)
        if (slot_used[i].load())
            unlink(slot_path[i]);
    errno = saved;
    raise(sig);  // the handler was reset: the signal ends the tool once it returns
}

// A folder's old contents, or an old file, once replaced.
void remove_old(const std::string &path) {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

// Gives what replaces a file the old one's mode, and for root its owner too
// (should that fail, it stays root's): a file shared with a group, or kept
// private, stays so when a tool writes it anew.
void keep_mode_and_owner(const std::string &path, const struct stat &old) {
    if (geteuid() == 0)
        (void)!lchown(path.c_str(), old.st_uid, old.st_gid);
    chmod(path.c_str(), old.st_mode & 07777);
}

struct moved {
    std::string from, to, old;  // old: where the replaced file now is; empty: nothing replaced
    bool exchanged = false;
};

void undo(const moved &m) {
    if (m.exchanged)
        renameat2(AT_FDCWD, m.from.c_str(), AT_FDCWD, m.to.c_str(), RENAME_EXCHANGE);
    else {
        std::rename(m.to.c_str(), m.from.c_str());
        if (!m.old.empty())
            std::rename(m.old.c_str(), m.to.c_str());
    }
}

// One move: over nothing without replacing what may appear meanwhile, over
// an old file by swapping the two (the old one is then checked once more,
// and swapped back should it no longer be what was there before).
bool move_one(const std::string &from, const std::string &to, moved &m, std::string &error) {
    struct stat what;
    if (from.empty()) {
        error = "nothing to move: the name given is empty";
        return false;
    }
    if (lstat(from.c_str(), &what) != 0) {
        error = "cannot move " + from + " into place: " + errno_says(errno);
        return false;
    }
    const bool folder = S_ISDIR(what.st_mode);
    if (error = output_refusal(to, {}, folder); !error.empty())
        return false;
    m = {from, to, "", false};
    struct stat old;
    const bool replacing = lstat(to.c_str(), &old) == 0;
    // Moved over itself, the swap below would leave the file in the place of
    // the old one, which is then removed: the file would be gone.
    if (replacing && old.st_dev == what.st_dev && old.st_ino == what.st_ino) {
        error = "cannot move " + from + " to " + to + ": they are the same file";
        return false;
    }
    if (replacing)
        keep_mode_and_owner(from, old);
    if (!replacing) {
        if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
            return true;
        error = "cannot move " + from + " to " + to + ": " + errno_says(errno);
        return false;
    }
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_EXCHANGE) == 0) {
        m.exchanged = true;
        m.old = from;
        struct stat now;
        if (lstat(from.c_str(), &now) == 0 && now.st_dev == old.st_dev &&
            now.st_ino == old.st_ino && (now.st_mode & S_IFMT) == (what.st_mode & S_IFMT))
            return true;
        undo(m);
        error = to + " changed while the output was moved there; it is left as it is";
        return false;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        error = "cannot move " + from + " to " + to + ": " + errno_says(errno);
        return false;
    }
    // A file system that cannot swap: the old file steps aside under a name of its own.
    m.old = from + ".old";
    if (std::rename(to.c_str(), m.old.c_str()) != 0) {
        error = "cannot move " + to + " aside: " + errno_says(errno);
        m.old.clear();
        return false;
    }
    if (std::rename(from.c_str(), to.c_str()) == 0)
        return true;
    error = "cannot move " + from + " to " + to + ": " + errno_says(errno);
    std::rename(m.old.c_str(), to.c_str());
    return false;
}

void register_slot(const std::string &path) {
    if (path.size() >= PATH_MAX)
        return;
    for (int i = 0; i < SLOTS; i++)
        if (!slot_used[i].load()) {
            std::memcpy(slot_path[i], path.c_str(), path.size() + 1);
            slot_used[i].store(true);
            return;
        }
}

}  // namespace

std::string output_refusal(const std::string &path, const std::vector<std::string> &inputs,
                           bool folder) {
    struct stat st;
    if (path.empty())
        return "an output needs a name; the name given is empty";
    if (lstat(path.c_str(), &st) != 0)
        return errno == ENOENT ? "" : "cannot look at " + path + ": " + errno_says(errno);
    if (S_ISDIR(st.st_mode) != folder || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)))
        return path + " is " + kind_of(st.st_mode) + "; the output is written only as " +
               (folder ? "a folder" : "a regular file");
    for (const std::string &in : inputs) {
        struct stat input;
        if (stat(in.c_str(), &input) == 0 && input.st_dev == st.st_dev && input.st_ino == st.st_ino)
            return path + " is the input " + in + "; the output would overwrite it";
    }
    return "";
}

output_file::~output_file() { discard(); }

void output_file::discard() {
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
    if (!temp_.empty()) {
        unlink(temp_.c_str());
        forget_on_signals(temp_);
    }
    temp_.clear();
}

bool output_file::open(const std::string &path, std::string &error,
                       const std::vector<std::string> &inputs) {
    discard();
    if (error = output_refusal(path, inputs); !error.empty())
        return false;
    path_ = path;
    const std::size_t slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = dir + "." + name + ".XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        error = "cannot write " + path + ": " + errno_says(errno);
        return false;
    }
    fd_ = fd;
    temp_ = temp;
    register_slot(temp_);
    // The new file keeps the old one's mode (and owner, for root: should that
    // fail, the file is root's); a new one gets the mode the umask allows.
    struct stat old;
    if (stat(path.c_str(), &old) == 0) {
        if (geteuid() == 0)
            (void)!fchown(fd, old.st_uid, old.st_gid);
        fchmod(fd, old.st_mode & 07777);
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, 0666 & ~mask);
    }
    return true;
}

bool output_file::write(const void *data, std::size_t n, std::string &error) {
    const char *p = static_cast<const char *>(data);
    while (n > 0) {
        const ssize_t w = ::write(fd_, p, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            error = "cannot write " + path_ + ": " + errno_says(w < 0 ? errno : ENOSPC);
            return false;
        }
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

bool output_file::commit(std::string &error) {
    if (temp_.empty()) {
        error = "cannot write " + path_ + ": it was never opened";
        return false;
    }
    if (fd_ >= 0) {
        const bool synced = fsync(fd_) == 0;
        const int e = errno;
        const bool closed = close(fd_) == 0;
        fd_ = -1;
        if (!synced || !closed) {
            error = "cannot write " + path_ + ": " + errno_says(synced ? errno : e);
            return false;
        }
    }
    if (!move_all_into_place({{temp_, path_}}, error))
        return false;
    forget_on_signals(temp_);
    temp_.clear();
    return true;
}

bool move_all_into_place(const std::vector<std::pair<std::string, std::string>> &moves,
                         std::string &error) {
    std::vector<moved> done;
    for (const auto &[from, to] : moves) {
        moved m;
        if (!move_one(from, to, m, error)) {
            for (auto k = done.rbegin(); k != done.rend(); ++k)
                undo(*k);
            return false;
        }
        done.push_back(m);
    }
    for (const moved &m : done)
        if (!m.old.empty())
            remove_old(m.old);
    return true;
}

void remove_temporaries_on_signals() {
    struct sigaction sa {};
    sa.sa_handler = on_cleanup_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESETHAND;
    for (int sig : CLEANUP_SIGNALS) {
        struct sigaction before {};
        // A signal the tool was started to ignore (nohup) stays ignored.
        if (sigaction(sig, nullptr, &before) == 0 && before.sa_handler != SIG_IGN)
            sigaction(sig, &sa, nullptr);
    }
}

void remove_on_signals(const std::string &path) { register_slot(path); }

void forget_on_signals(const std::string &path) {
    for (int i = 0; i < SLOTS; i++)
        if (slot_used[i].load() && path == slot_path[i])
            slot_used[i].store(false);
}

void end_on_signals(pid_t pid) { child_to_end.store(pid); }
