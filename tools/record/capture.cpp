// The show's run: started with SDL's disk audio driver writing into a FIFO,
// its printed stream and its sound kept in the temporary folder as they
// arrive, each unit of the stream stamped with its arrival. Nothing is drawn
// or encoded here, so the recorder leaves the show the machine.
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

#include "clocks.h"
#include "record.h"
#include "stream.h"

namespace {

constexpr std::size_t READ_BYTES = 1 << 16;
// How often the pump looks at the clock and the stop signal when nothing comes.
constexpr int POLL_MS = 100;

// Plays the part of the sound card: takes the sound from the disk driver's
// FIFO no faster than real time, so the show's mixer, which blocks on the
// full FIFO, runs at the pace of a real device; keeps it in a file.
struct sound_reader {
    fd_guard fifo, file;
    long fifo_bytes = 0;
    std::atomic<bool> output_ended{false};  // no sound will come if none has
    std::atomic<bool> quit{false};          // the recording is given up
    std::atomic<bool> failed{false};        // the sound file could not be written
    std::atomic<double> start{-1};          // when the first sample was mixed
    std::atomic<long long> bytes{0};
    std::thread thread;
};

// Waits for the first buffer; false when none will come.
bool wait_for_sound(sound_reader &s) {
    for (;;) {
        pollfd p{s.fifo.fd, POLLIN, 0};
        if (poll(&p, 1, 20) > 0 && (p.revents & POLLIN))
            return true;
        if (s.quit.load(std::memory_order_relaxed) ||
            s.output_ended.load(std::memory_order_relaxed) || (p.revents & POLLHUP))
            return false;
    }
}

// Reads what the pace allows; false when the sound has ended or failed.
bool take_sound(sound_reader &s, long long allowed, char *buf) {
    long long total = s.bytes.load(std::memory_order_relaxed);
    while (total < allowed) {
        std::size_t want = static_cast<std::size_t>(
            std::min<long long>(allowed - total, static_cast<long long>(READ_BYTES)));
        ssize_t n = read(s.fifo.fd, buf, want);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return true;
        if (n <= 0)
            return false;
        if (!write_unless_stopped(s.file.fd, buf, static_cast<std::size_t>(n))) {
            s.failed.store(true, std::memory_order_relaxed);
            return false;
        }
        total += n;
        s.bytes.store(total, std::memory_order_relaxed);
    }
    return true;
}

void read_sound(sound_reader &s) {
    static char buf[READ_BYTES];
    if (!wait_for_sound(s))
        return;
    const double first = wall_seconds();
    ssize_t n = read(s.fifo.fd, buf, sizeof buf);
    if (n <= 0)
        return;
    // The mixer runs the FIFO and one buffer ahead of what is read.
    s.start.store(first - static_cast<double>(s.fifo_bytes + n) / (AUDIO_RATE * AUDIO_FRAME_BYTES),
                  std::memory_order_relaxed);
    if (!write_unless_stopped(s.file.fd, buf, static_cast<std::size_t>(n))) {
        s.failed.store(true, std::memory_order_relaxed);
        return;
    }
    s.bytes.store(n, std::memory_order_relaxed);
    auto tick = std::chrono::steady_clock::now();
    while (!s.quit.load(std::memory_order_relaxed)) {
        tick += std::chrono::milliseconds(4);
        std::this_thread::sleep_until(tick);
        long long allowed =
            n + static_cast<long long>((wall_seconds() - first) * AUDIO_RATE) * AUDIO_FRAME_BYTES;
        if (!take_sound(s, allowed, buf))
            return;
    }
}

// The disk audio driver writes into a FIFO holding a single page, so the
// show's mixer can be at most that and the buffer it is blocked on ahead.
bool open_sound(recording &r, sound_reader &s) {
    take &run = r.run;
    run.fifo_path = r.tmp.path + "/sound.fifo";
    run.sound_path = r.tmp.path + "/sound.raw";
    if (mkfifo(run.fifo_path.c_str(), 0600) != 0)
        return fail("cannot make " + run.fifo_path + ": " + errno_text(errno));
    s.fifo.reset(open(run.fifo_path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    s.file.reset(open(run.sound_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (s.fifo.fd < 0 || s.file.fd < 0)
        return fail("cannot open the sound files in " + r.tmp.path + ": " + errno_text(errno));
    fcntl(s.fifo.fd, F_SETPIPE_SZ, 4096);
    s.fifo_bytes = fcntl(s.fifo.fd, F_GETPIPE_SZ);
    return true;
}

// The sound reader takes no stop signal: they reach the pump, which ends it.
void start_sound_reader(sound_reader &s) {
    sigset_t block, old;
    sigemptyset(&block);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&block, sig);
    pthread_sigmask(SIG_BLOCK, &block, &old);
    s.thread = std::thread(read_sound, std::ref(s));
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

// Starts the show with its output into a pipe; its standard input is
// /dev/null, which keeps it off the terminal.
pid_t start_show(recording &r, int &out_fd) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        fail("cannot make a pipe: " + errno_text(errno));
        return -1;
    }
    fd_guard write_end(out[1]), devnull(open("/dev/null", O_RDONLY | O_CLOEXEC));
    out_fd = out[0];
    spawn_spec s{{r.opt.demo},
                 r.opt.run_dir,
                 devnull.fd,
                 write_end.fd,
                 -1,
                 {{"SDL_AUDIODRIVER", "disk"},
                  {"SDL_DISKAUDIOFILE", r.run.fifo_path},
                  {"SDL_DISKAUDIODELAY", "0"}},
                 true};
    std::string error;
    r.run.wall_clock = static_cast<double>(std::time(nullptr));
    pid_t pid = r.kids.spawn(s, error);
    if (pid < 0)
        fail(error);
    return pid;
}

std::string seconds(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%g s", s);
    return text;
}

// What a show that failed printed first, readable on one line.
std::string printable_start(const std::string &bytes) {
    std::string said = bytes.substr(0, 200);
    std::replace_if(
        said.begin(), said.end(), [](char ch) { return ch < 0x20 || ch > 0x7e; }, ' ');
    return said;
}

// Keeps one piece of the show's output and stamps the units it completes.
bool keep_output(recording &r, stream_reader &reader, int file, const char *p, std::size_t n,
                 double t) {
    take &run = r.run;
    if (run.first_byte < 0)
        run.first_byte = t;
    if (run.said.size() < 200)
        run.said += std::string(p, std::min<std::size_t>(n, 200));
    if (!write_unless_stopped(file, p, n))
        return fail("cannot keep the show's output in " + run.stream_path + ": " +
                    errno_text(errno));
    feed_status st = stream_feed(
        reader, p, n, [&](unit_kind kind, const frame_codes &, const char *, std::size_t) {
            run.unit_times.push_back(t);
            if (kind == unit_kind::frame && run.frames++ == 0)
                run.first_frame = t;
            return true;
        });
    if (st != feed_status::bad)
        return true;
    // A show that cannot start may say why on its output; its status tells more.
    if (run.frames == 0 && reader.parser.stage == 0) {
        run.bad_start = "malformed stream at " + reader.parser.error;
        return false;
    }
    return fail("malformed stream at " + reader.parser.error);
}

// Reads the show's output until it ends; false when it breaks the format,
// falls silent for too long, or a stop signal comes.
bool pump(recording &r, int out_fd, stream_reader &reader, const sound_reader &sound) {
    r.run.stream_path = r.tmp.path + "/stream.raw";
    fd_guard file(open(r.run.stream_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (file.fd < 0)
        return fail("cannot open " + r.run.stream_path + ": " + errno_text(errno));
    static char buf[READ_BYTES];
    double last = wall_seconds();
    for (;;) {
        if (stop_signal)
            return false;
        if (sound.failed.load(std::memory_order_relaxed))
            return fail("cannot keep the sound in " + r.run.sound_path);
        pollfd p{out_fd, POLLIN, 0};
        int ready = poll(&p, 1, POLL_MS);
        double t = wall_seconds();
        if (ready <= 0) {
            if (t - last > r.opt.give_up)
                return fail("the show printed nothing for " + seconds(r.opt.give_up) +
                            "; it is given up");
            continue;
        }
        ssize_t n = read(out_fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            r.run.end = t;
            return true;
        }
        last = t;
        if (!keep_output(r, reader, file.fd, buf, static_cast<std::size_t>(n), t))
            return false;
    }
}

// After the output has ended: the show's exit, the rest of its sound.
bool finish(recording &r, pid_t show, stream_reader &reader, sound_reader &sound) {
    sound.output_ended.store(true, std::memory_order_relaxed);
    int status = r.kids.wait(show, r.opt.give_up);
    if (status < 0)
        r.kids.end(show);
    sound.quit.store(status < 0, std::memory_order_relaxed);
    sound.thread.join();
    r.run.cpu_running = cpu_seconds();
    r.run.sound_start = sound.start.load(std::memory_order_relaxed);
    r.run.sound_bytes = sound.bytes.load(std::memory_order_relaxed);
    if (stop_signal)
        return false;
    if (status < 0)
        return fail("the show closed its output but did not end; it is given up");
    if (status != 0)
        return fail("the show exited with status " + std::to_string(status) +
                    (r.run.frames == 0 ? "; it printed: " + printable_start(r.run.said) : ""));
    if (r.run.frames == 0)
        return fail("the show printed no frame");
    if (sound.failed.load(std::memory_order_relaxed))
        return fail("cannot keep the sound in " + r.run.sound_path);
    if (!reader.pending.empty())
        r.run.cut_off = reader.parser.error.empty() ? "byte " + std::to_string(reader.parser.offset)
                                                    : reader.parser.error;
    return true;
}

}  // namespace

bool run_show(recording &r) {
    sound_reader sound;
    if (!open_sound(r, sound))
        return false;
    int out_fd = -1;
    pid_t show = start_show(r, out_fd);
    fd_guard output(out_fd);
    if (show < 0)
        return false;
    start_sound_reader(sound);
    static stream_reader reader;
    bool ok = pump(r, output.fd, reader, sound);
    if (!ok) {
        sound.quit.store(true, std::memory_order_relaxed);
        int status = r.run.bad_start.empty() ? -1 : r.kids.wait(show, 1.0);
        if (status > 0)
            fail("the show exited with status " + std::to_string(status) +
                 "; it printed: " + printable_start(r.run.said));
        else if (!r.run.bad_start.empty())
            fail(r.run.bad_start + "; the show printed: " + printable_start(r.run.said));
        if (status < 0)
            r.kids.end(show);
        sound.thread.join();
        return false;
    }
    return finish(r, show, reader, sound);
}
