// Linked into the show binary beside main(): measures a real-speed run of the
// whole show from inside and, when the process exits, prints on standard error
// one "name value" line per figure:
//   wall_s        seconds from start-up to exit
//   pauses_s      the sum of the main thread's pauses, the show's own timing
//   cpu_s         CPU time of the whole process, every thread counted
//   crawler_cpu_s CPU time of the 119 border crawlers
//   crawler_life_s the sum of their lifetimes, for their share of one core
//   crawlers      how many there were
//   render_cpu_s  CPU time of the render thread
//   render_writes its write calls (the 24 reserved lines, then the frames)
//   audio_cpu_s   CPU time of the audio thread, last seen before sound closes
//   peak_rss_kb   peak resident memory
// Every pause still sleeps as pause_us does; only the main thread's are added up.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <pthread.h>
#include <string>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include "clocks.h"
#include "screen/pause.h"

namespace {

pthread_t main_thread;
double start_s;
long long pauses_us;
double last_look_s;
std::string audio_task;  // /proc/self/task/<tid> of the audio thread, once found
double audio_cpu_s;

double now_s(clockid_t clock) {
    timespec t;
    clock_gettime(clock, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

std::string read_file(const std::string &path) {
    std::string s;
    if (FILE *f = fopen(path.c_str(), "r")) {
        char buf[512];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0)
            s.append(buf, n);
        fclose(f);
    }
    return s;
}

// Time the thread has spent on a CPU, in seconds.
double thread_cpu_s(const std::string &task) {
    return atof(read_file(task + "/schedstat").c_str()) / 1e9;
}

std::string thread_name(const std::string &task) {
    std::string n = read_file(task + "/comm");
    return n.empty() ? n : n.substr(0, n.size() - 1);
}

// Seconds since boot at which the thread started (field 22 of its stat).
double thread_start_s(const std::string &task) {
    std::string st = read_file(task + "/stat");
    size_t at = st.rfind(')');
    int field = 2;
    for (; at != std::string::npos && field < 22; field++)
        at = st.find(' ', at + 1);
    return at == std::string::npos ? 0 : atof(st.c_str() + at + 1) / sysconf(_SC_CLK_TCK);
}

template <class F>
void each_thread(F f) {
    if (DIR *d = opendir("/proc/self/task")) {
        while (dirent *e = readdir(d))
            if (e->d_name[0] != '.')
                f(std::string("/proc/self/task/") + e->d_name);
        closedir(d);
    }
}

// The audio thread ends when sound is closed, before the exit: look at it now
// and then, at most twice a second, from the main thread's pauses.
void look_at_audio() {
    double now = now_s(CLOCK_MONOTONIC);
    if (now - last_look_s < 0.5)
        return;
    last_look_s = now;
    if (audio_task.empty())
        each_thread([](const std::string &task) {
            if (thread_name(task).rfind("SDLAudio", 0) == 0)
                audio_task = task;
        });
    if (!audio_task.empty())
        if (double c = thread_cpu_s(audio_task); c > 0)
            audio_cpu_s = c;
}

void counted_pause(long usec) {
    if (pthread_equal(pthread_self(), main_thread)) {
        pauses_us += usec;
        look_at_audio();
    }
    while (usec >= 1000000) {
        sleep(1);
        usec -= 1000000;
    }
    if (usec > 0)
        usleep(static_cast<useconds_t>(usec));
}

void report() {
    double wall = now_s(CLOCK_MONOTONIC) - start_s;
    double boot_now = now_s(CLOCK_BOOTTIME);
    double crawler_cpu = 0, crawler_life = 0, render_cpu = 0;
    long render_writes = 0, crawlers = 0;
    each_thread([&](const std::string &task) {
        std::string name = thread_name(task);
        if (name == "crawler") {
            crawlers++;
            crawler_cpu += thread_cpu_s(task);
            crawler_life += boot_now - thread_start_s(task);
        } else if (name == "render") {
            render_cpu = thread_cpu_s(task);
            std::string io = read_file(task + "/io");
            size_t at = io.find("syscw:");
            if (at != std::string::npos)
                render_writes = atol(io.c_str() + at + 6);
        }
    });
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    double cpu = cpu_seconds();
    fprintf(
        stderr,
        "wall_s %.3f\npauses_s %.3f\ncpu_s %.3f\ncrawler_cpu_s %.3f\ncrawler_life_s %.1f\n"
        "crawlers %ld\nrender_cpu_s %.3f\nrender_writes %ld\naudio_cpu_s %.3f\npeak_rss_kb %ld\n",
        wall, pauses_us / 1e6, cpu, crawler_cpu, crawler_life, crawlers, render_cpu, render_writes,
        audio_cpu_s, u.ru_maxrss);
}

// Runs before main(): the show has not started yet.
[[maybe_unused]] const bool installed = [] {
    main_thread = pthread_self();
    start_s = now_s(CLOCK_MONOTONIC);
    set_pause_hook(counted_pause);
    atexit(report);
    return true;
}();

}  // namespace
