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
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
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

#include "output_guard.h"
#include "process.h"
#include "shot.h"
#include "stream.h"
#include "term.h"
#include "tool_options.h"

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
    output_file show_err;  // the show's standard error, OUT/show.err once it ends
    int status = 0;
};

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

// A photograph of the screen, written through the tools' guard as every
// output is: xwd writes the temporary beside `path`.
// The photograph at `at` seconds, and the picture of where it differs.
std::string photo_name(double at) {
    char name[64];
    std::snprintf(name, sizeof name, "at-%06.1f.xwd", at);
    return name;
}

std::string differs_path(const std::string &photo) {
    return photo.substr(0, photo.size() - 4) + "-differs.ppm";
}

bool photograph(const std::string &path) {
    output_file shot;
    std::string error;
    if (shot.open(path, error) && run({"xwd", "-root", "-silent", "-out", shot.temp_path()}) &&
        shot.commit(error))
        return true;
    if (!error.empty())
        std::fprintf(stderr, "terminal_check: %s\n", error.c_str());
    return false;
}

bool show_card(relay &r) {
    frame_codes card = test_card();
    std::string bytes = std::string(RESET) + HIDE_CURSOR;
    for (int y = 0; y < HEIGHT; y++)
        bytes += std::string(WIDTH, RESERVE_FILL) + ROW_END;
    bytes += frame_bytes(card);
    if (!write_unless_stopped(STDOUT_FILENO, bytes.data(), bytes.size()))
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
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, p[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&fa, r.show_err.fd(), STDERR_FILENO);
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
    end_on_signals(-r.show);  // the show's whole group
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
    if (!write_unless_stopped(STDOUT_FILENO, bytes, n)) {
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
        p.path = r.opt.out + "/" + photo_name(p.at);
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
                if (!write_unless_stopped(STDOUT_FILENO, reader.pending.data(),
                                          reader.pending.size()))
                    r.output_gone = true;
            }
        } else if (!write_unless_stopped(STDOUT_FILENO, buf.data(), static_cast<std::size_t>(n))) {
            r.output_gone = true;
        }
        if (r.output_gone && !r.stopped) {
            kill(-r.show, SIGTERM);
            r.stopped = true;
        }
    }
    // A unit the show's end cut short is the emulator's too.
    if (r.modelling && !r.output_gone)
        write_unless_stopped(STDOUT_FILENO, reader.pending.data(), reader.pending.size());
    close(r.pipe_fd);
    while (waitpid(r.show, &r.status, 0) < 0 && errno == EINTR) {
    }
    r.ended = now();
    end_on_signals(0);
}

// Writes a file whole through the tools' guard; says why not on standard error.
bool put_file(const std::string &path, const std::string &bytes) {
    output_file f;
    std::string error;
    if (f.open(path, error) && f.write(bytes.data(), bytes.size(), error) && f.commit(error))
        return true;
    std::fprintf(stderr, "terminal_check: %s\n", error.c_str());
    return false;
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

// The relay's figures: frames, lengths, blocked writes, the show's end, wipes.
void relay_lines(const relay &r, std::ostringstream &o) {
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
}

// What the test card showed: where the grid lies, how the raw colour codes
// read and the emulator's palette, each key's ink and paper as 0xRRGGBB
// ("-" where the card has no sample).
void card_lines(const image &card, const grid_place &g, const palette &pal, std::ostringstream &o) {
    char line[200];
    std::snprintf(line, sizeof line, "card grid %.0f %.0f cell %.2fx%.2f\n", g.x0, g.y0, g.cw,
                  g.ch);
    o << line;
    for (int c = RAW_FIRST; c <= RAW_LAST; c++)
        o << "raw " << c << " " << raw_reading(card, g, pal, c) << "\n";
    o << "palette";
    auto hex = [](long c) {
        char s[20] = "-";
        if (c >= 0)
            std::snprintf(s, sizeof s, "%06lx", c);
        return std::string(s);
    };
    for (int k = 0; k < KEYS; k++)
        o << " " << hex(pal.ink[k]) << "/" << hex(pal.paper[k]);
    o << "\n";
}

// One photograph against the recorder's terminal at its frame: how many cells
// match, the first that differ in words, and all of them outlined in a
// picture beside the photograph.
void photo_lines(const photo &p, const grid_place &g, const palette &pal, std::ostringstream &o) {
    image shot;
    if (std::string e = read_image(p.path, shot); !e.empty()) {
        o << "shot " << p.at << " " << e << "\n";
        return;
    }
    std::vector<int> misses;
    const int m = cells_matching(shot, g, pal, *p.expected, &misses);
    char line[200];
    std::snprintf(line, sizeof line, "shot %.1f frame %ld matched %d of %d\n", p.at, p.frame, m,
                  WIDTH * HEIGHT);
    o << line;
    if (misses.empty())
        return;
    o << "differs " << p.at;
    for (std::size_t i = 0; i < misses.size() && i < 8; i++) {
        const term_cell &c = p.expected->cells[misses[i] / WIDTH][misses[i] % WIDTH];
        std::snprintf(line, sizeof line, " (%d,%d '%c' ink %d paper %d)", misses[i] % WIDTH,
                      misses[i] / WIDTH, c.ch, ink_key(c.look), paper_key(c.look));
        o << line;
    }
    o << (misses.size() > 8 ? " ...\n" : "\n");
    outline_cells(shot, g, misses, 0xff00ff);
    put_file(differs_path(p.path), ppm_bytes(shot));
}

// OUT/result: the relay's figures, then, with photographs, the card and each photograph.
bool write_result(const relay &r) {
    std::ostringstream o;
    relay_lines(r, o);
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
            card_lines(card, g, pal, o);
            for (const photo &p : r.photos)
                photo_lines(p, g, pal, o);
        }
    }
    return put_file(r.opt.out + "/result", o.str());
}

// The most moments one run photographs (each photograph is a window dump of
// about a megabyte).
constexpr std::size_t MAX_MOMENTS = 100;
// The longest the show is played, in seconds (it lasts under three minutes).
constexpr double MAX_SHOW_S = 3600;

// --at's list into `at`, sorted; why it is refused, or "".
std::string parse_list(const char *s, std::vector<double> &at) {
    std::stringstream in{std::string(s)};
    std::string item;
    while (std::getline(in, item, ',')) {
        double d;
        if (std::string why = tool_options::read_number("--at", item.c_str(), 0, MAX_SHOW_S, d);
            !why.empty())
            return why;
        at.push_back(d);
    }
    if (at.size() > MAX_MOMENTS)
        return "--at takes at most " + std::to_string(MAX_MOMENTS) + " moments, not " +
               std::to_string(at.size());
    std::sort(at.begin(), at.end());
    return at.empty() ? "--at needs at least one moment" : "";
}

const char USAGE[] =
    "usage: terminal_check [--run-dir DIR] [--demo PROGRAM] [--out DIR] [--at S,S,...]\n"
    "                      [--hold S] [--for S] [--read-rate BYTES]\n"
    "\n"
    "Plays the show in the terminal it runs in (run by tools/terminals/terminals.sh).\n"
    "Findings go to OUT/result.\n";

// The options, or an exit status (0 after --help) when the check should stop.
int parse_options(int argc, char **argv, options &o) {
    tool_options line("terminal_check", USAGE);
    line.text("run-dir", "DIR", "where the show is started (.)", o.run_dir);
    line.text("demo", "PROGRAM", "the show (./demo)", o.demo);
    line.text("out", "DIR", "where the findings and photographs go (.)", o.out);
    line.custom("at", "S,...",
                "photograph the screen at these seconds from the first frame,\n"
                "after a test card, and compare with the recorder's terminal",
                1, [&o](const std::vector<const char *> &w) { return parse_list(w[0], o.at); });
    line.number("hold", "S", "seconds the emulator gets to draw before a photograph (0.6)", 0, 60,
                o.hold);
    line.number("for", "S", "end the show after S seconds", 0, MAX_SHOW_S, o.stop_after);
    line.custom("read-rate", "B",
                "take the show's output at B bytes a second at most, 1000 or\n"
                "more (0: as fast as it comes)",
                1, [&o](const std::vector<const char *> &w) {
                    std::string why =
                        tool_options::read_number("--read-rate", w[0], 0, 1e9, o.read_rate);
                    if (why.empty() && o.read_rate > 0 && o.read_rate < 1000)
                        why = std::string("--read-rate takes 0 or a number from 1000 to 1e+09, "
                                          "not '") +
                              w[0] + "'";
                    return why;
                });
    return line.parse(argc, argv, 0, 0);
}

bool is_folder(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Before the show: the run folder and the output folder are there, and every
// file the check will write may be written in the output folder (nothing or
// a regular file at its path), the show's standard error among them.
bool check_places(relay &r) {
    const options &o = r.opt;
    std::string error;
    if (!is_folder(o.run_dir))
        error = "the run folder " + o.run_dir + " is not a folder that exists";
    else if (!is_folder(o.out))
        error = "the output folder " + o.out + " is not a folder that exists";
    std::vector<std::string> names = {"started", "result", "show.err"};
    if (!o.at.empty())
        names.push_back("card.xwd");
    for (double at : o.at) {
        names.push_back(photo_name(at));
        names.push_back(differs_path(photo_name(at)));
    }
    for (std::size_t i = 0; i < names.size() && error.empty(); i++)
        error = output_refusal(o.out + "/" + names[i]);
    if (error.empty())
        r.show_err.open(o.out + "/show.err", error);
    if (error.empty())
        return true;
    std::fprintf(stderr, "terminal_check: %s\n", error.c_str());
    return false;
}

}  // namespace

int main(int argc, char **argv) {
    relay r;
    if (const int status = parse_options(argc, argv, r.opt); status >= 0)
        return status;
    // INT, TERM and HUP (the emulator closing) end the show too, and leave no
    // temporary; also when the check was started with them ignored, in the
    // background of a script, so that stopping the script stops the show.
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        signal(sig, SIG_DFL);
    remove_temporaries_on_signals();
    signal(SIGPIPE, SIG_IGN);
    if (!check_places(r) || !put_file(r.opt.out + "/started", "started\n"))
        return 1;
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
    std::string error;
    if (!r.show_err.commit(error))
        std::fprintf(stderr, "terminal_check: %s\n", error.c_str());
    if (!write_result(r) || !error.empty())
        return 1;
    // A show that failed by itself is a failed check, whatever the relay found.
    if (!r.stopped && !r.output_gone && !(WIFEXITED(r.status) && WEXITSTATUS(r.status) == 0)) {
        std::fprintf(stderr, "terminal_check: the show ended with %s%s (see %s/show.err)\n",
                     WIFEXITED(r.status) ? "status " : "", exit_text(r).c_str(), r.opt.out.c_str());
        return 1;
    }
    return 0;
}
