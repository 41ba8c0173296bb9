// record: runs the show in its run directory at real speed with SDL's disk
// audio driver, stamps every frame it prints with its arrival time, and makes
// from that a video with the music (H.264 and AAC, through ffmpeg), an
// asciicast of the printed stream, and stills of chosen moments.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "mkv.h"
#include "stream.h"
#include "term.h"

namespace {

// The show opens its sound device as 32000 Hz stereo 16-bit.
constexpr int AUDIO_RATE = 32000;
constexpr int AUDIO_FRAME_BYTES = 4;
constexpr int SCALE = 2;

double now_s() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double cpu_s(const rusage &r) {
    return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
           static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

[[noreturn]] void die(const std::string &msg) {
    std::fprintf(stderr, "record: %s\n", msg.c_str());
    std::exit(1);
}

bool write_all(int fd, const void *data, std::size_t n) {
    const char *p = static_cast<const char *>(data);
    while (n > 0) {
        ssize_t w = write(fd, p, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

// Starts argv[0] in `dir` (if not empty) with the given fds as its standard
// input and output (-1 keeps ours) and extra environment settings.
pid_t spawn(const std::vector<std::string> &argv, const std::string &dir, int in, int out,
            const std::vector<std::pair<std::string, std::string>> &env = {}) {
    pid_t pid = fork();
    if (pid < 0)
        die("cannot fork");
    if (pid == 0) {
        if (!dir.empty() && chdir(dir.c_str()) != 0)
            _exit(126);
        if (in >= 0)
            dup2(in, STDIN_FILENO);
        if (out >= 0)
            dup2(out, STDOUT_FILENO);
        for (const auto &[k, v] : env)
            setenv(k.c_str(), v.c_str(), 1);
        std::vector<char *> args;
        for (const std::string &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    return pid;
}

// Waits for a child; returns its exit status (128 + signal when killed) and adds its CPU time.
int reap(pid_t pid, double *cpu = nullptr) {
    int status = 0;
    rusage ru{};
    while (wait4(pid, &status, 0, &ru) < 0 && errno == EINTR) {
    }
    if (cpu)
        *cpu += cpu_s(ru);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Bytes from the show's output or its sound, stamped when they arrived.
struct chunk {
    bool audio;
    bool end;  // the source is exhausted
    double t;
    std::string bytes;
};

struct chunk_queue {
    std::mutex m;
    std::condition_variable cv;
    std::deque<chunk> q;

    void push(chunk c) {
        {
            std::lock_guard<std::mutex> lock(m);
            q.push_back(std::move(c));
        }
        cv.notify_one();
    }
    chunk pop() {
        std::unique_lock<std::mutex> lock(m);
        cv.wait(lock, [&] { return !q.empty(); });
        chunk c = std::move(q.front());
        q.pop_front();
        return c;
    }
};

void read_output(int fd, chunk_queue &q) {
    static char buf[1 << 16];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        double t = now_s();
        if (n <= 0) {
            q.push({false, true, t, {}});
            return;
        }
        q.push({false, false, t, std::string(buf, static_cast<std::size_t>(n))});
    }
}

// Plays the part of the sound card: takes the sound from the disk driver's
// FIFO no faster than real time, so the show's mixer, which blocks on the
// full FIFO, runs at the pace of a real device.
void read_audio(int fd, chunk_queue &q, const std::atomic<bool> &stop) {
    static char buf[1 << 16];
    // Wait for the first buffer; the show may also never open the device.
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 20) > 0 && (p.revents & POLLIN))
            break;
        if (stop.load(std::memory_order_relaxed) || (p.revents & POLLHUP)) {
            q.push({true, true, now_s(), {}});
            return;
        }
    }
    double start = now_s();
    ssize_t first = read(fd, buf, sizeof buf);
    if (first <= 0) {
        q.push({true, true, start, {}});
        return;
    }
    q.push({true, false, start, std::string(buf, static_cast<std::size_t>(first))});
    long long total = first;
    auto tick = std::chrono::steady_clock::now();
    for (;;) {
        tick += std::chrono::milliseconds(4);
        std::this_thread::sleep_until(tick);
        double t = now_s();
        long long allowed =
            first + static_cast<long long>((t - start) * AUDIO_RATE) * AUDIO_FRAME_BYTES;
        while (total < allowed) {
            ssize_t n =
                read(fd, buf,
                     static_cast<std::size_t>(std::min<long long>(allowed - total, sizeof buf)));
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
                q.push({true, true, now_s(), {}});
                return;
            }
            if (n < 0)
                break;
            q.push({true, false, now_s(), std::string(buf, static_cast<std::size_t>(n))});
            total += n;
        }
    }
}

std::string json_string(const std::string &s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\r\\n";  // the tty adds the carriage return
        } else if (c < 0x20) {
            char u[8];
            std::snprintf(u, sizeof u, "\\u%04x", c);
            out += u;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

struct still {
    std::string name;
    double at;  // seconds from the first frame
    bool taken = false;
    terminal shot;
};

std::vector<still> parse_stills(const std::string &list) {
    std::vector<still> out;
    std::size_t pos = 0;
    while (pos < list.size()) {
        std::size_t comma = list.find(',', pos);
        std::string item =
            list.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        pos = comma == std::string::npos ? list.size() : comma + 1;
        if (item.empty())
            continue;
        still s;
        std::size_t at = item.find('@');
        std::string when = at == std::string::npos ? item : item.substr(at + 1);
        char *end = nullptr;
        s.at = std::strtod(when.c_str(), &end);
        if (when.empty() || *end || s.at < 0)
            die("a still is NAME@SECONDS or SECONDS, not '" + item + "'");
        if (at != std::string::npos) {
            s.name = item.substr(0, at);
            if (s.name.empty() || s.name.find('/') != std::string::npos)
                die("bad still name in '" + item + "'");
        } else {
            char name[32];
            std::snprintf(name, sizeof name, "still-%07.2f", s.at);
            s.name = name;
        }
        out.push_back(std::move(s));
    }
    return out;
}

// Pictures through ffmpeg as a PNG with a palette (the pictures have at most 16 colours).
double write_png(const std::string &path, const std::vector<std::uint8_t> &rgb, int w, int h,
                 int count, const std::string &filter) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        die("cannot make a pipe");
    std::string size = std::to_string(w) + "x" + std::to_string(h);
    pid_t pid = spawn({"ffmpeg", "-v", "error", "-y", "-f", "rawvideo", "-pix_fmt", "rgb24", "-s",
                       size, "-i", "pipe:0", "-vf",
                       filter + "split[a][b];[a]palettegen=max_colors=32:reserve_transparent=0[p];"
                                "[b][p]paletteuse=dither=none",
                       "-frames:v", "1", "-update", "1", path},
                      "", fds[0], -1);
    close(fds[0]);
    bool ok = write_all(fds[1], rgb.data(), static_cast<std::size_t>(w) * h * 3 * count);
    close(fds[1]);
    double cpu = 0;
    if (reap(pid, &cpu) != 0 || !ok)
        die("ffmpeg could not write " + path);
    return cpu;
}

struct options {
    std::string out = ".", run_dir = ".", demo = "./demo", stills,
                font = "/usr/share/consolefonts/Lat15-VGA16.psf.gz", preset = "veryfast";
};

void usage() {
    std::puts("usage: record [--out DIR] [--run-dir DIR] [--demo PROGRAM] [--stills LIST]\n"
              "              [--font PSF] [--preset X264PRESET]\n"
              "Runs the show (PROGRAM, default ./demo, started in the run directory) at real\n"
              "speed and writes into DIR (default .):\n"
              "  demo.mp4   H.264 video at 1280x800 with the music in AAC, every frame shown\n"
              "             for as long as it was on the terminal\n"
              "  demo.cast  the printed stream as an asciicast v2 recording (80x25)\n"
              "  NAME.png   with --stills, the terminal at chosen moments, 640x400, and\n"
              "  contact.png  all of them on one sheet\n"
              "LIST is comma-separated NAME@SECONDS (or plain SECONDS, named still-SECONDS),\n"
              "counted from the first frame, as in the video.");
}

options parse_args(int argc, char **argv) {
    options o;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                die(a + " needs a value");
            return argv[++i];
        };
        if (a == "--out")
            o.out = value();
        else if (a == "--run-dir")
            o.run_dir = value();
        else if (a == "--demo")
            o.demo = value();
        else if (a == "--stills")
            o.stills = value();
        else if (a == "--font")
            o.font = value();
        else if (a == "--preset")
            o.preset = value();
        else if (a == "--help" || a == "-h") {
            usage();
            std::exit(0);
        } else {
            usage();
            die("unknown argument " + a);
        }
    }
    return o;
}

}  // namespace

int main(int argc, char **argv) {
    options opt = parse_args(argc, argv);
    std::vector<still> stills = parse_stills(opt.stills);
    std::sort(stills.begin(), stills.end(),
              [](const still &a, const still &b) { return a.at < b.at; });
    console_font font;
    if (std::string err = load_font(opt.font, font); !err.empty())
        die(err);
    signal(SIGPIPE, SIG_IGN);

    const int width = COLS * 8 * SCALE, height = TERM_ROWS * font.height * SCALE;
    const std::string mp4 = opt.out + "/demo.mp4", cast_path = opt.out + "/demo.cast";
    char tmpl[] = "/tmp/record.XXXXXX";
    if (!mkdtemp(tmpl))
        die("cannot make a temporary folder");
    const std::string tmp = tmpl, fifo = tmp + "/sound", partial = tmp + "/video.mkv";

    // The disk audio driver writes into a FIFO holding a single page, so the
    // show's mixer can be at most that and the buffer it is blocked on ahead.
    if (mkfifo(fifo.c_str(), 0600) != 0)
        die("cannot make " + fifo);
    int audio_fd = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    if (audio_fd < 0)
        die("cannot open " + fifo);
    fcntl(audio_fd, F_SETPIPE_SZ, 4096);
    const long fifo_bytes = fcntl(audio_fd, F_GETPIPE_SZ);

    int enc_pipe[2], out_pipe[2];
    if (pipe2(enc_pipe, O_CLOEXEC) != 0 || pipe2(out_pipe, O_CLOEXEC) != 0)
        die("cannot make a pipe");
    fcntl(audio_fd, F_SETFD, FD_CLOEXEC);
    pid_t encoder = spawn({"ffmpeg",      "-nostdin",
                           "-v",          "error",
                           "-y",          "-f",
                           "matroska",    "-i",
                           "pipe:0",      "-c:v",
                           "libx264",     "-preset",
                           opt.preset,    "-crf",
                           "20",          "-bf",
                           "0",           "-pix_fmt",
                           "yuv420p",     "-colorspace",
                           "bt709",       "-color_primaries",
                           "bt709",       "-color_trc",
                           "bt709",       "-color_range",
                           "tv",          "-fps_mode",
                           "passthrough", "-enc_time_base:v",
                           "1:1000",      "-c:a",
                           "copy",        partial},
                          "", enc_pipe[0], -1);
    close(enc_pipe[0]);
    // Reading the show's stdin as our own stdin's closed pipe keeps it off the terminal.
    int devnull = open("/dev/null", O_RDONLY | O_CLOEXEC);
    pid_t show = spawn(
        {opt.demo}, opt.run_dir, devnull, out_pipe[1],
        {{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", fifo}, {"SDL_DISKAUDIODELAY", "0"}});
    close(out_pipe[1]);
    close(devnull);

    std::FILE *cast = std::fopen(cast_path.c_str(), "w");
    if (!cast)
        die("cannot write " + cast_path);
    std::fprintf(cast,
                 "{\"version\": 2, \"width\": %d, \"height\": %d, \"timestamp\": %ld, \"env\": "
                 "{\"TERM\": \"xterm-256color\"}}\n",
                 COLS, TERM_ROWS, static_cast<long>(std::time(nullptr)));

    chunk_queue queue;
    std::atomic<bool> stop{false};
    std::thread out_reader(read_output, out_pipe[0], std::ref(queue));
    std::thread audio_reader(read_audio, audio_fd, std::ref(queue), std::cref(stop));

    const std::string header = mkv_header(width, height, AUDIO_RATE, 2);
    if (!write_all(enc_pipe[1], header.data(), header.size()))
        die("ffmpeg did not start");

    stream_parser parser;
    std::string pending;  // printed bytes not yet read as a unit
    static frame_codes codes;
    static terminal term;
    std::vector<std::uint8_t> picture(static_cast<std::size_t>(width) * height * 3 / 2);
    double first_byte = -1, first_frame = -1, out_end = -1;
    long last_ms = -1, frames = 0;
    double audio_start = 0;          // when sample 0 was mixed
    long long audio_bytes = 0;       // bytes of sound read so far
    long long audio_kept = 0;        // bytes of sound given to the encoder
    std::vector<chunk> early_audio;  // sound read before the first frame
    bool out_done = false, audio_done = false;
    std::string failure;

    auto send_audio = [&](const chunk &c) {
        // Sample k was mixed at audio_start + k / rate; the video starts at the first frame.
        long long k0 = audio_bytes / AUDIO_FRAME_BYTES;
        audio_bytes += static_cast<long long>(c.bytes.size());
        double t = audio_start + static_cast<double>(k0) / AUDIO_RATE - first_frame;
        std::size_t skip = 0;
        if (t < 0) {
            skip = static_cast<std::size_t>(std::ceil(-t * AUDIO_RATE)) * AUDIO_FRAME_BYTES;
            if (skip >= c.bytes.size())
                return;
            t += static_cast<double>(skip / AUDIO_FRAME_BYTES) / AUDIO_RATE;
        }
        std::size_t n = c.bytes.size() - skip;
        std::string head = mkv_block_head(AUDIO_TRACK, std::lround(t * 1000), n);
        if (!write_all(enc_pipe[1], head.data(), head.size()) ||
            !write_all(enc_pipe[1], c.bytes.data() + skip, n))
            die("ffmpeg stopped taking the recording");
        audio_kept += static_cast<long long>(n);
    };

    while (!(out_done && audio_done) && failure.empty()) {
        chunk c = queue.pop();
        if (c.audio) {
            if (c.end) {
                audio_done = true;
                continue;
            }
            if (audio_bytes == 0 && early_audio.empty()) {
                // The mixer runs the FIFO and one buffer ahead of what is read.
                audio_start =
                    c.t - static_cast<double>(fifo_bytes + static_cast<long>(c.bytes.size())) /
                              (AUDIO_RATE * AUDIO_FRAME_BYTES);
            }
            if (first_frame < 0)
                early_audio.push_back(std::move(c));
            else
                send_audio(c);
            continue;
        }
        if (c.end) {
            out_done = true;
            out_end = c.t;
            stop.store(true, std::memory_order_relaxed);
            continue;
        }
        if (first_byte < 0)
            first_byte = c.t;
        pending += c.bytes;
        std::size_t pos = 0;
        for (;;) {
            unit_kind kind;
            std::size_t used = 0;
            parse_status st =
                next_unit(parser, pending.data() + pos, pending.size() - pos, kind, codes, used);
            if (st == parse_status::need_more)
                break;
            if (st == parse_status::bad) {
                failure = "malformed stream at " + parser.error;
                break;
            }
            std::fprintf(cast, "[%.6f, \"o\", %s]\n", c.t - first_byte,
                         json_string(pending.substr(pos, used)).c_str());
            pos += used;
            if (kind == unit_kind::frame) {
                if (first_frame < 0) {
                    first_frame = c.t;
                    for (const chunk &e : early_audio)
                        send_audio(e);
                    early_audio.clear();
                }
                // A still shows what was on the terminal at its moment.
                for (still &s : stills)
                    if (!s.taken && frames > 0 && s.at < c.t - first_frame) {
                        s.shot = term;
                        s.taken = true;
                    }
                frames++;
            }
            term_apply(term, kind, codes);
            if (kind == unit_kind::frame) {
                // Frames that arrived in one read still get times of their own.
                long ms = std::max(last_ms + 1, std::lround((c.t - first_frame) * 1000));
                last_ms = ms;
                render_yuv2x(term, font, picture.data());
                std::string head = mkv_block_head(VIDEO_TRACK, ms, picture.size());
                if (!write_all(enc_pipe[1], head.data(), head.size()) ||
                    !write_all(enc_pipe[1], picture.data(), picture.size()))
                    die("ffmpeg stopped taking the recording");
            }
        }
        pending.erase(0, pos);
    }

    if (!failure.empty()) {
        kill(show, SIGTERM);
        stop.store(true, std::memory_order_relaxed);
    }
    int show_status = reap(show);
    out_reader.join();
    stop.store(true, std::memory_order_relaxed);
    audio_reader.join();
    close(out_pipe[0]);
    close(audio_fd);
    close(enc_pipe[1]);
    std::fclose(cast);
    double encoder_cpu = 0;
    int enc_status = reap(encoder, &encoder_cpu);
    unlink(fifo.c_str());

    auto cleanup = [&] {
        unlink(partial.c_str());
        rmdir(tmp.c_str());
    };
    if (!failure.empty()) {
        cleanup();
        // A show that cannot start says why in its first bytes.
        if (frames == 0 && parser.stage == 0) {
            std::string said = pending.substr(0, 200);
            std::replace_if(
                said.begin(), said.end(), [](char ch) { return ch < 0x20 || ch > 0x7e; }, ' ');
            die(failure + "; the show printed: " + said);
        }
        die(failure);
    }
    if (frames == 0) {
        cleanup();
        if (show_status != 0)
            die("the show exited with status " + std::to_string(show_status) + ": " +
                pending.substr(0, 200));
        die("the show printed no frame");
    }
    if (show_status != 0)
        std::fprintf(stderr, "record: the show exited with status %d\n", show_status);
    if (!pending.empty())
        std::fprintf(
            stderr,
            "record: the last frame was cut off by the end of the recording at %s; it is dropped\n",
            parser.error.empty() ? ("byte " + std::to_string(parser.offset)).c_str()
                                 : parser.error.c_str());
    if (enc_status != 0) {
        cleanup();
        die("ffmpeg failed while encoding");
    }

    // The last frame stays up until the show ends; the container learns that
    // only from the last packet's duration.
    double after_cpu = 0;
    long last_duration = std::max(1L, std::lround((out_end - first_frame) * 1000) - last_ms);
    std::string setts = "setts=duration=if(eq(N\\," + std::to_string(frames - 1) + ")\\," +
                        std::to_string(last_duration) + "\\,DURATION)";
    std::vector<std::string> mux = {"ffmpeg", "-nostdin", "-v",   "error", "-y",
                                    "-i",     partial,    "-map", "0:v"};
    if (audio_kept > 0)
        mux.insert(mux.end(), {"-map", "0:a", "-c:a", "aac", "-b:a", "192k"});
    else
        std::fprintf(stderr, "record: no sound reached the recording\n");
    mux.insert(mux.end(), {"-c:v", "copy", "-bsf:v", setts, "-video_track_timescale", "1000",
                           "-movflags", "+faststart", mp4});
    if (reap(spawn(mux, "", -1, -1), &after_cpu) != 0) {
        cleanup();
        die("ffmpeg could not write " + mp4);
    }
    cleanup();

    const int sw = COLS * 8, sh = TERM_ROWS * font.height;
    std::vector<std::uint8_t> sheet;
    int shots = 0;
    for (still &s : stills) {
        if (!s.taken) {
            if (s.at > out_end - first_frame) {
                std::fprintf(stderr, "record: still %s at %.2f s is after the end of the show\n",
                             s.name.c_str(), s.at);
                continue;
            }
            s.shot = term;
        }
        std::vector<std::uint8_t> rgb(static_cast<std::size_t>(sw) * sh * 3);
        render_rgb(s.shot, font, rgb.data());
        after_cpu += write_png(opt.out + "/" + s.name + ".png", rgb, sw, sh, 1, "");
        sheet.insert(sheet.end(), rgb.begin(), rgb.end());
        shots++;
    }
    if (shots > 0) {
        int cols = std::min(shots, 4), rows = (shots + cols - 1) / cols;
        after_cpu += write_png(opt.out + "/contact.png", sheet, sw, sh, shots,
                               "scale=" + std::to_string(sw / 2) + ":" + std::to_string(sh / 2) +
                                   ":flags=area,tile=" + std::to_string(cols) + "x" +
                                   std::to_string(rows) + ":padding=4:margin=4:color=gray,");
    }

    rusage self{};
    getrusage(RUSAGE_SELF, &self);
    double show_time = out_end - first_frame;
    std::printf("frames printed %ld, frames in the video %ld\n", frames, frames);
    std::printf("show %.2f s from the first frame to the end, sound %.2f s\n", show_time,
                static_cast<double>(audio_kept) / (AUDIO_RATE * AUDIO_FRAME_BYTES));
    std::printf(
        "CPU during the show %.2f s (recorder %.2f s, encoder %.2f s) = %.2f of the show's time; "
        "afterwards %.2f s\n",
        cpu_s(self) + encoder_cpu, cpu_s(self), encoder_cpu,
        (cpu_s(self) + encoder_cpu) / show_time, after_cpu);
    return 0;
}
