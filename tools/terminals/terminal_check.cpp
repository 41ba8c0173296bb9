// Plays the show inside a terminal emulator and measures how the emulator
// keeps up and what it shows. Run by terminals.sh as the emulator's command:
// it prints the test card, photographs it, then starts the show with its
// standard output on a one-page pipe and hands every unit of the stream on
// to the emulator with one write, timing it (the time the show's own write
// would stay blocked). At each moment asked for it holds the next frame back
// until the emulator has drawn the last one and photographs the screen; the
// show's render thread waits meanwhile, as it would for a slow emulator, and
// nothing else in the show does. After the show it reads the photographs
// against the recorder's terminal and writes its findings to OUT/result.
//
// Without --at it only relays and times, and with --read-rate it reads the
// show slowly: the reader that does not keep up.
#include <fcntl.h>
#include <getopt.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "option_number.h"
#include "output_guard.h"
#include "process.h"
#include "shot.h"
#include "stream.h"
#include "term.h"

extern char **environ;

namespace {

struct options {
    std::string run_dir = ".", demo = "./demo", out = ".";
    std::vector<double> at;  // seconds from the first frame
    double hold = 0.6;       // seconds the emulator gets to draw before a photograph
    double stop_after = 0;   // seconds of the show to play; 0: all of it
    double read_rate = 0;    // bytes a second the slow reader takes; 0: as fast as it can
};

struct photo {
    double at;
    long frame;
    std::string path;
    std::unique_ptr<terminal> expected;  // the recorder's terminal at that frame
};

// What one relay of the show found.
struct relay {
    options opt;
    pid_t show = -1;
    int pipe_fd = -1;
    double started = 0, first_frame = -1, last_frame = -1, ended = 0;
    // When the bytes of the unit being read began to arrive (-1: with the
    // next read). A slow reader takes a frame long after the show made it,
    // but its first bytes come about when the show began to write it.
    double unit_began = -1, read_at = 0;
    std::vector<double> blocked;  // seconds each frame's write stayed blocked
    std::vector<double> wipes;    // when a frame with a blank interior followed another
    std::unique_ptr<terminal> model = std::make_unique<terminal>();
    std::vector<photo> photos;
    std::size_t next_moment = 0;
    bool blank_before = false, modelling = true, output_gone = false, stopped = false;
    std::string stream_error, card_error;
    int status = 0;
};

volatile sig_atomic_t show_group = 0;

double now() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void sleep_for(double s) {
    timespec t{static_cast<time_t>(s), static_cast<long>((s - std::floor(s)) * 1e9)};
    while (nanosleep(&t, &t) < 0 && errno == EINTR) {
    }
}

// The emulator closing (SIGHUP) or the check giving up ends the show as well.
void end_show(int sig) {
    if (show_group > 0)
        kill(-show_group, SIGTERM);
    signal(sig, SIG_DFL);
    raise(sig);
}

// A frame in the show's own bytes.
std::string frame_bytes(const frame_codes &f) {
    std::string s;
    for (int k = 0; k < FRAME_CURSOR_UPS; k++)
        s += CURSOR_UP;
    char cell[48];
    for (const auto &row : f.cells) {
        for (const cell_code &c : row) {
            int n = std::snprintf(cell, sizeof cell, "%s%d%c%d%c%d%c", CELL_START, c.attr,
                                  PARAM_SEPARATOR, c.fg, PARAM_SEPARATOR, c.bg, CELL_END);
            s.append(cell, static_cast<std::size_t>(n));
            s += static_cast<char>(c.data);
        }
        s += ROW_END;
    }
    return s;
}

// Runs a program and waits for it; true when it exited with 0.
bool run(const std::vector<std::string> &args) {
    std::vector<char *> argv;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    int st;
    while (waitpid(pid, &st, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(st) && WEXITSTATUS(st) == 0;
}

bool photograph(const std::string &path) { return run({"xwd", "-root", "-silent", "-out", path}); }

bool show_card(relay &r) {
    frame_codes card = test_card();
    std::string bytes = std::string(RESET) + HIDE_CURSOR;
    for (int y = 0; y < HEIGHT; y++)
        bytes += std::string(WIDTH, RESERVE_FILL) + ROW_END;
    bytes += frame_bytes(card);
    if (!write_all(STDOUT_FILENO, bytes.data(), bytes.size()))
        return false;
    sleep_for(2 * r.opt.hold);
    if (!photograph(r.opt.out + "/card.xwd"))
        r.card_error = "xwd could not photograph the screen";
    return true;
}

bool start_show(relay &r) {
    int p[2];
    if (pipe2(p, O_CLOEXEC) < 0)
        return false;
    // One page of pipe: the show feels the emulator's pace almost at once.
    fcntl(p[1], F_SETPIPE_SZ, 4096);
    std::string err = r.opt.out + "/show.err";
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, p[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&fa, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&fa, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawnattr_t at;
    posix_spawnattr_init(&at);
    posix_spawnattr_setpgroup(&at, 0);
    posix_spawnattr_setflags(&at, POSIX_SPAWN_SETPGROUP);
    // The show is started in its run folder: the child changes there first.
    std::string cmd = "cd \"$1\" && exec \"$2\"";
    char *argv[] = {
        const_cast<char *>("sh"), const_cast<char *>("-c"), cmd.data(), const_cast<char *>("sh"),
        r.opt.run_dir.data(),     r.opt.demo.data(),        nullptr};
    int e = posix_spawn(&r.show, "/bin/sh", &fa, &at, argv, environ);
    posix_spawn_file_actions_destroy(&fa);
    posix_spawnattr_destroy(&at);
    close(p[1]);
    if (e != 0) {
        close(p[0]);
        return false;
    }
    show_group = r.show;
    r.pipe_fd = p[0];
    r.started = now();
    return true;
}

bool interior_blank(const terminal &t) {
    const term_cell &first = t.cells[1][1];
    for (int y = 1; y < HEIGHT - 1; y++)
        for (int x = 1; x < WIDTH - 1; x++)
            if (!(t.cells[y][x] == first))
                return false;
    return true;
}

// Hands one whole unit on to the emulator, timing the write.
bool pass_unit(relay &r, unit_kind kind, const frame_codes &f, const char *bytes, std::size_t n) {
    term_apply(*r.model, kind, f);
    double t0 = now();
    if (!write_all(STDOUT_FILENO, bytes, n)) {
        r.output_gone = true;
        return false;
    }
    double t1 = now();
    if (kind != unit_kind::frame)
        return true;
    r.blocked.push_back(t1 - t0);
    if (r.first_frame < 0)
        r.first_frame = t0;
    r.last_frame = t1;
    bool blank = interior_blank(*r.model);
    if (blank && !r.blank_before)
        r.wipes.push_back(r.unit_began - r.started);
    r.blank_before = blank;
    if (r.next_moment < r.opt.at.size() && t1 - r.first_frame >= r.opt.at[r.next_moment]) {
        photo p{r.opt.at[r.next_moment], static_cast<long>(r.blocked.size()), "", nullptr};
        char name[64];
        std::snprintf(name, sizeof name, "/at-%06.1f.xwd", p.at);
        p.path = r.opt.out + name;
        sleep_for(r.opt.hold);
        if (photograph(p.path)) {
            p.expected = std::make_unique<terminal>(*r.model);
            r.photos.push_back(std::move(p));
        }
        r.next_moment++;
    }
    return true;
}

void pump(relay &r) {
    stream_reader reader;
    std::vector<char> buf(65536);
    const std::size_t chunk = r.opt.read_rate > 0 ? 4096 : buf.size();
    for (;;) {
        if (r.opt.stop_after > 0 && !r.stopped && now() - r.started >= r.opt.stop_after) {
            kill(-r.show, SIGTERM);
            r.stopped = true;
        }
        ssize_t n = read(r.pipe_fd, buf.data(), chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        r.read_at = now();
        if (r.unit_began < 0)
            r.unit_began = r.read_at;
        if (r.opt.read_rate > 0)
            sleep_for(static_cast<double>(n) / r.opt.read_rate);
        if (r.output_gone)
            continue;  // the emulator is gone: drain the show until it ends
        if (r.modelling) {
            feed_status st =
                stream_feed(reader, buf.data(), static_cast<std::size_t>(n),
                            [&](unit_kind k, const frame_codes &f, const char *b, std::size_t len) {
                                bool more = pass_unit(r, k, f, b, len);
                                r.unit_began = -1;
                                return more;
                            });
            // The bytes left over begin the next unit.
            if (r.unit_began < 0 && !reader.pending.empty())
                r.unit_began = r.read_at;
            if (st == feed_status::bad) {
                // Not the show's stream: hand the rest on as it comes.
                r.stream_error = reader.parser.error;
                r.modelling = false;
                if (!write_all(STDOUT_FILENO, reader.pending.data(), reader.pending.size()))
                    r.output_gone = true;
            }
        } else if (!write_all(STDOUT_FILENO, buf.data(), static_cast<std::size_t>(n))) {
            r.output_gone = true;
        }
        if (r.output_gone && !r.stopped) {
            kill(-r.show, SIGTERM);
            r.stopped = true;
        }
    }
    // A unit the show's end cut short is the emulator's too.
    if (r.modelling && !r.output_gone)
        write_all(STDOUT_FILENO, reader.pending.data(), reader.pending.size());
    close(r.pipe_fd);
    while (waitpid(r.show, &r.status, 0) < 0 && errno == EINTR) {
    }
    r.ended = now();
    show_group = 0;
}

// Writes a file whole through the tools' guard; says why not on standard error.
void put_file(const std::string &path, const std::string &bytes) {
    output_file f;
    std::string error;
    if (!f.open(path, error) || !f.write(bytes.data(), bytes.size(), error) || !f.commit(error))
        std::fprintf(stderr, "terminal_check: %s\n", error.c_str());
}

double quantile(std::vector<double> v, double q) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    std::size_t i = static_cast<std::size_t>(std::ceil(q * static_cast<double>(v.size()))) - 1;
    return v[std::min(i, v.size() - 1)];
}

std::string exit_text(const relay &r) {
    if (r.output_gone)
        return "the emulator closed its terminal";
    if (r.stopped)
        return "stopped after " + std::to_string(static_cast<int>(r.opt.stop_after)) + " s";
    if (WIFEXITED(r.status))
        return std::to_string(WEXITSTATUS(r.status));
    return std::string("killed by ") + strsignal(WTERMSIG(r.status));
}

void write_result(const relay &r) {
    std::ostringstream o;
    char line[200];
    o << "frames " << r.blocked.size() << "\n";
    std::snprintf(line, sizeof line, "length_s %.3f\nframes_s %.3f\n", r.ended - r.started,
                  r.first_frame < 0 ? 0.0 : r.last_frame - r.first_frame);
    o << line;
    std::snprintf(line, sizeof line,
                  "blocked_median_ms %.2f\nblocked_p99_ms %.2f\nblocked_max_ms %.2f\n",
                  1e3 * quantile(r.blocked, 0.5), 1e3 * quantile(r.blocked, 0.99),
                  1e3 * quantile(r.blocked, 1.0));
    o << line;
    o << "exit " << exit_text(r) << "\n";
    if (!r.stream_error.empty())
        o << "stream " << r.stream_error << "\n";
    o << "wipes";
    for (double w : r.wipes) {
        std::snprintf(line, sizeof line, " %.2f", w);
        o << line;
    }
    o << "\n";

    if (!r.opt.at.empty()) {
        image card;
        grid_place g;
        palette pal;
        std::string why = r.card_error;
        if (why.empty())
            why = read_image(r.opt.out + "/card.xwd", card);
        if (why.empty())
            why = find_grid(card, g);
        if (why.empty())
            why = read_palette(card, g, pal);
        if (!why.empty()) {
            o << "card " << why << "\n";
        } else {
            std::snprintf(line, sizeof line, "card grid %.0f %.0f cell %.2fx%.2f\n", g.x0, g.y0,
                          g.cw, g.ch);
            o << line;
            for (int c = RAW_FIRST; c <= RAW_LAST; c++)
                o << "raw " << c << " " << raw_reading(card, g, pal, c) << "\n";
            o << "palette";
            // Each key's ink and paper as 0xRRGGBB, "-" where the card has no sample.
            auto hex = [](long c) {
                char s[20] = "-";
                if (c >= 0)
                    std::snprintf(s, sizeof s, "%06lx", c);
                return std::string(s);
            };
            for (int k = 0; k < KEYS; k++)
                o << " " << hex(pal.ink[k]) << "/" << hex(pal.paper[k]);
            o << "\n";
            for (const photo &p : r.photos) {
                image shot;
                std::string e = read_image(p.path, shot);
                if (!e.empty()) {
                    o << "shot " << p.at << " " << e << "\n";
                    continue;
                }
                std::vector<int> misses;
                int m = cells_matching(shot, g, pal, *p.expected, &misses);
                std::snprintf(line, sizeof line, "shot %.1f frame %ld matched %d of %d\n", p.at,
                              p.frame, m, WIDTH * HEIGHT);
                o << line;
                if (misses.empty())
                    continue;
                // Where it differs: the first cells in words, all of them outlined.
                o << "differs " << p.at;
                for (std::size_t i = 0; i < misses.size() && i < 8; i++) {
                    const term_cell &c = p.expected->cells[misses[i] / WIDTH][misses[i] % WIDTH];
                    std::snprintf(line, sizeof line, " (%d,%d '%c' ink %d paper %d)",
                                  misses[i] % WIDTH, misses[i] / WIDTH, c.ch, ink_key(c.look),
                                  paper_key(c.look));
                    o << line;
                }
                o << (misses.size() > 8 ? " ...\n" : "\n");
                outline_cells(shot, g, misses, 0xff00ff);
                put_file(p.path.substr(0, p.path.size() - 4) + "-differs.ppm", ppm_bytes(shot));
            }
        }
    }
    put_file(r.opt.out + "/result", o.str());
}

bool parse_list(const char *s, std::vector<double> &v) {
    std::string t(s);
    std::stringstream in(t);
    std::string item;
    while (std::getline(in, item, ',')) {
        double d;
        if (!option_number(item.c_str(), 0, HUGE_VAL, d))
            return false;
        v.push_back(d);
    }
    std::sort(v.begin(), v.end());
    return true;
}

const char USAGE[] =
    "usage: terminal_check [--run-dir DIR] [--demo PROGRAM] [--out DIR] [--at S,S,...]\n"
    "                      [--hold S] [--for S] [--read-rate BYTES]\n"
    "Plays the show in the terminal it runs in (run by tools/terminals/terminals.sh).\n"
    "  --at S,...     photograph the screen at these seconds from the first frame,\n"
    "                 after a test card, and compare with the recorder's terminal\n"
    "  --hold S       seconds the emulator gets to draw before a photograph (0.6)\n"
    "  --for S        end the show after S seconds\n"
    "  --read-rate B  take the show's output at B bytes a second at most\n"
    "Findings go to OUT/result.\n";

bool parse_options(int argc, char **argv, options &o) {
    static const option longs[] = {{"run-dir", required_argument, nullptr, 'r'},
                                   {"demo", required_argument, nullptr, 'd'},
                                   {"out", required_argument, nullptr, 'o'},
                                   {"at", required_argument, nullptr, 'a'},
                                   {"hold", required_argument, nullptr, 'H'},
                                   {"for", required_argument, nullptr, 'f'},
                                   {"read-rate", required_argument, nullptr, 'R'},
                                   {"help", no_argument, nullptr, 'h'},
                                   {nullptr, 0, nullptr, 0}};
    int c;
    bool ok = true;
    opterr = 0;
    while (ok && (c = getopt_long(argc, argv, ":", longs, nullptr)) != -1) {
        switch (c) {
            case 'r':
                o.run_dir = optarg;
                break;
            case 'd':
                o.demo = optarg;
                break;
            case 'o':
                o.out = optarg;
                break;
            case 'a':
                ok = parse_list(optarg, o.at);
                break;
            case 'H':
                ok = option_number(optarg, 0, HUGE_VAL, o.hold);
                break;
            case 'f':
                ok = option_number(optarg, 0, HUGE_VAL, o.stop_after);
                break;
            case 'R':
                ok = option_number(optarg, 0, HUGE_VAL, o.read_rate);
                break;
            case 'h':
                std::fputs(USAGE, stdout);
                std::exit(0);
            case ':':
                std::fprintf(stderr, "terminal_check: %s needs its argument\n", argv[optind - 1]);
                ok = false;
                break;
            case '?':
                std::fprintf(stderr, "terminal_check: unknown option %s\n", argv[optind - 1]);
                ok = false;
                break;
            default:
                ok = false;
        }
    }
    if (!ok || optind != argc) {
        std::fputs(USAGE, stderr);
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    relay r;
    if (!parse_options(argc, argv, r.opt))
        return 2;
    signal(SIGHUP, end_show);
    signal(SIGTERM, end_show);
    signal(SIGINT, end_show);
    signal(SIGPIPE, SIG_IGN);
    put_file(r.opt.out + "/started", "started\n");
    if (!r.opt.at.empty() && !show_card(r)) {
        std::fprintf(stderr, "terminal_check: the terminal took no test card\n");
        return 1;
    }
    if (!start_show(r)) {
        std::fprintf(stderr, "terminal_check: cannot start %s in %s\n", r.opt.demo.c_str(),
                     r.opt.run_dir.c_str());
        return 1;
    }
    pump(r);
    write_result(r);
    return 0;
}
