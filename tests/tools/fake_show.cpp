// A short stand-in for the show, for the recorder's end-to-end test: the same
// stream format, and sound through the disk audio driver's file the way SDL
// writes it (1024 stereo 16-bit frames per write, the mixer blocking on it).
// Frames 0 to 19 are black; frame 20 turns the screen white at the moment a
// tone starts; after frame 39 it waits 300 ms, prints half a frame and exits.
// With FAKE_SHOW_COLOURS=N it prints N frames of a colour pattern instead,
// which moves every 10 frames and has the raw colour numbers 38 to 43 and 48
// to 52 and bold in it; the tone still starts with frame 20.
// FAKE_SHOW_MODE makes it fail instead: "silent" prints nothing, "garbage"
// prints bytes that are no frame, "exit3" says why it cannot start and exits
// 3, "die" is killed in the middle of frame 5, "forever" never ends; each
// waits to be ended after. It writes its process id into show.pid, and
// starts a helper that only waits (at most a minute), as a show's own
// children might, with its process id in helper.pid.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "cells.h"

namespace {

std::atomic<bool> tone{false}, quit{false};

void write_all(int fd, const std::string &s) {
    std::size_t done = 0;
    while (done < s.size()) {
        ssize_t n = write(fd, s.data() + done, s.size() - done);
        if (n <= 0)
            return;
        done += static_cast<std::size_t>(n);
    }
}

void mixer(const char *path) {
    int fd = open(path, O_WRONLY);
    if (fd < 0)
        return;
    std::int16_t buf[1024 * 2];
    long phase = 0;
    while (!quit.load()) {
        bool on = tone.load();
        for (int i = 0; i < 1024; i++, phase++)
            buf[2 * i] = buf[2 * i + 1] =
                on ? static_cast<std::int16_t>(phase / 40 % 2 ? 12000 : -12000) : 0;
        if (write(fd, buf, sizeof buf) != static_cast<ssize_t>(sizeof buf))
            break;
    }
    close(fd);
}

// Frame k of the colour pattern.
std::string colour_frame(int k) {
    std::string s;
    for (int y = 0; y < 24; y++)
        s += "\033[A";
    const int p = k / 10;
    for (int y = 0; y < 24; y++) {
        for (int x = 0; x < 80; x++)
            s += "\033[" + std::to_string((y / 3 + p) % 2) + ";" +
                 std::to_string(30 + (x / 4 + y + p) % 14) + ";" +
                 std::to_string(40 + (x / 8 + y / 4 + p) % 13) + "m" +
                 static_cast<char>(y % 3 == 0 ? 'A' + (x + p) % 26 : ' ');
        s += "\n";
    }
    return s;
}

// The ways a show can fail; returns only for the plain run (no mode).
void fail_as(const std::string &mode, const std::string &preamble, const std::string &frame) {
    if (mode.empty())
        return;
    if (mode == "garbage") {
        write_all(1, "\033c\033[?25lnot a frame at all\n");
    } else if (mode == "exit3") {
        write_all(1, "cannot open the sound device\n");
        std::exit(3);
    } else if (mode == "die" || mode == "forever") {
        write_all(1, preamble);
        for (int k = 0; mode == "forever" || k < 5; k++) {
            write_all(1, frame);
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
        if (mode == "die") {
            write_all(1, frame.substr(0, 500));
            kill(getpid(), SIGKILL);
        }
    }
    for (;;)
        pause();
}
}  // namespace

int main() {
    const char *path = std::getenv("SDL_DISKAUDIOFILE");
    const char *mode = std::getenv("FAKE_SHOW_MODE");
    if (!path)
        return 1;
    std::ofstream("show.pid") << getpid() << "\n";
    if (const pid_t helper = fork(); helper == 0) {
        for (int fd : {0, 1, 2})
            close(fd);
        alarm(60);
        for (;;)
            pause();
    } else {
        std::ofstream("helper.pid") << helper << "\n";
    }
    const std::string black = uniform_frame("\033[0;37;40m "),
                      white = uniform_frame("\033[0;37;47m ");
    fail_as(mode ? mode : "", "\033c\033[?25l" + uniform_frame(" ").substr(24 * 3), black);
    std::thread sound(mixer, path);
    write_all(1, "\033c");
    write_all(1, "\033[?25l");
    write_all(1, uniform_frame(" ").substr(24 * 3));
    const char *colours = std::getenv("FAKE_SHOW_COLOURS");
    const int frames = colours ? std::atoi(colours) : 40;
    for (int k = 0; k < frames; k++) {
        if (k == 20)
            tone.store(true);
        write_all(1, colours ? colour_frame(k) : k < 20 ? black : white);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    quit.store(true);
    sound.join();
    write_all(1, black.substr(0, black.size() / 2));
    return 0;
}
