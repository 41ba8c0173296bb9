// Plays the show's sound through the sound library exactly as the show calls
// it: the device opened at the show's rate, both modules loaded, half a
// second of rest, knark's five cards of half a second each, two and a half
// seconds of the last card, then vorbel for the seconds asked. At the end it
// prints the CPU time the audio thread took, as a share of one core.
//
//     show_sound RUN_DIR SECONDS
#include "sound.h"
#include "sound_rate.h"

#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

namespace {

void sleep_us(long us) { std::this_thread::sleep_for(std::chrono::microseconds(us)); }

// CPU seconds (user and system) of this process's audio threads: the threads
// SDL names after the audio device.
double audio_thread_cpu() {
    double total = 0;
    DIR *dir = opendir("/proc/self/task");
    if (!dir)
        return -1;
    const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
    while (dirent *e = readdir(dir)) {
        if (e->d_name[0] == '.')
            continue;
        std::string task = std::string("/proc/self/task/") + e->d_name;
        std::string comm;
        std::getline(std::ifstream(task + "/comm"), comm);
        if (comm.rfind("SDLAudio", 0) != 0)
            continue;
        std::string stat;
        std::getline(std::ifstream(task + "/stat"), stat);
        // Fields after the command's closing parenthesis: state is field 3,
        // utime and stime are fields 14 and 15.
        std::size_t close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        unsigned long utime = 0, stime = 0;
        if (std::sscanf(stat.c_str() + close + 2,
                        "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime) == 2)
            total += static_cast<double>(utime + stime) / tick;
    }
    closedir(dir);
    return total;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 3 || std::atof(argv[2]) <= 0) {
        std::fprintf(stderr, "usage: show_sound RUN_DIR SECONDS\n");
        return 2;
    }
    if (chdir(argv[1]) != 0) {
        std::fprintf(stderr, "show_sound: cannot enter %s: %s\n", argv[1], std::strerror(errno));
        return 1;
    }
    const long music_us = static_cast<long>(std::atof(argv[2]) * 1e6);
    if (!FSOUND_Init(SOUND_SHOW_RATE, 64, 0)) {
        std::printf("INIT SOUND error\n");
        return 1;
    }
    FMUSIC_MODULE *mod = FMUSIC_LoadSong("vorbel.xm");
    FMUSIC_MODULE *knark = FMUSIC_LoadSong("knark.xm");
    if (!mod || !knark) {
        std::printf("Loadsong error\n");
        return 1;
    }
    auto start = std::chrono::steady_clock::now();
    sleep_us(500000);
    for (int i = 0; i < 5; i++) {
        FMUSIC_PlaySong(knark);
        sleep_us(500000);
        FMUSIC_StopSong(knark);
    }
    sleep_us(2500000);
    FMUSIC_PlaySong(mod);
    sleep_us(music_us);
    double cpu = audio_thread_cpu();
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    FMUSIC_FreeSong(mod);
    FMUSIC_FreeSong(knark);
    FSOUND_Close();
    if (cpu < 0)
        std::printf("audio thread CPU: unknown\n");
    else
        std::printf("audio thread CPU: %.3f s in %.1f s, %.2f%% of a core\n", cpu, wall,
                    100 * cpu / wall);
    return 0;
}
