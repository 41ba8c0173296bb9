// The music report's figures on a small module the test compiles: a tone in
// tune, then slid 2.5 semitones up, off its note; a hit at 100 Hz.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "module_probe.h"

namespace {

const char *SCORE = R"(
channels 2
instrument 01 tone "sine"
  wave sine
instrument 02 hit "thump"
  wave sine
  freq 100
  length 400
pattern p 16
  00 C-4 01 | C-4 02
  08 ... .. .. 108
order p
)";

TEST(MusicReport, FiguresOfASmallModule) {
    temp_dir dir;
    const std::string module = probe::compile(dir, "small", SCORE);
    ASSERT_FALSE(module.empty());
    const child_result r = probe::run(std::string(MUSIC_REPORT) + " " + probe::quote(module));
    ASSERT_EQ(r.status, 0) << r.out;
    // 125 BPM at speed 6: 20 ms a tick, eight rows 0.96 s. The slide moves
    // half a semitone on each of the row's five later ticks and stays there.
    for (const char *line : {
             "duration  1.92 s",
             "pitch     channel 0: 0.9 s of 1.9 s pitched more than 40 cents off",
             "at   0.98 s for 0.94 s: C-4 +250 cents at most, +250 at the end",
             "hit 02 thump              <60 0.1%  60-150 99.",
         })
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
}

child_result report(const std::string &args) {
    return probe::run(std::string(MUSIC_REPORT) + " " + args);
}

// Options out of range, outputs that cannot be written and modules that
// cannot be played all end with a message and a non-zero status; no file
// name ever reaches a shell; nothing leaks on any of these paths.
TEST(MusicReport, RefusesWhatItCannotDo) {
    temp_dir dir;
    const std::string module = probe::compile(dir, "small", SCORE);
    ASSERT_FALSE(module.empty());
    const std::string cut = dir.path("cut.xm");
    std::filesystem::copy_file(module, cut);
    std::filesystem::resize_file(cut, std::filesystem::file_size(module) / 2);
    const std::string never_loops =
        probe::compile(dir, "long", "channels 1\nbpm 32\nspeed 31\npattern p 256\norder p p p\n");
    const std::string hostile = dir.path("x';touch INJECTED;'.xm");
    std::filesystem::copy_file(module, hostile);
    const struct {
        std::string args;
        int status;
        std::string message;
    } CASES[] = {
        {"--from -5 --wav x.wav " + module, 2, "--from takes a number of at least 0"},
        {"--from 1 --to 0.5 --wav x.wav " + module, 2, "--to 0.5 must lie after --from 1"},
        {"--from 5 --wav x.wav " + module, 2, "past the song's end at 1.92 s"},
        {"--wav /dev/full " + module, 1, "/dev/full is a device"},
        {"--wav " + dir.path("full/x.wav") + " " + module, 1,
         "cannot write " + dir.path("full/x.wav")},
        {module + " >/dev/full", 1, ""},
        {never_loops, 1, "does not loop within 30 minutes of music"},
        {"/dev/zero", 1, "/dev/zero: is not a regular file"},
        {dir.path("small.score"), 1, "libxmp cannot load it"},
        {cut, 0, "cut.xm"},  // libxmp plays what is left
        {probe::quote(hostile) + " --spectrogram " + dir.path("s.png"), 0, ""},
    };
    for (const auto &c : CASES) {
        const child_result r = report(c.args);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.out;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << c.args << "\n" << r.out;
        EXPECT_EQ(r.out.find("Sanitizer"), std::string::npos) << r.out;
    }
    EXPECT_FALSE(std::filesystem::exists("INJECTED"));  // where a shell would have made it
    EXPECT_GT(std::filesystem::file_size(dir.path("s.png")), 1000u);
}

// INT, TERM or HUP while sox draws (a stand-in that only waits) take the
// temporary WAV, the half-made picture and sox with the report.
TEST(MusicReport, ASignalLeavesNoTemporaryFile) {
    temp_dir dir;
    const std::string module = probe::compile(dir, "small", SCORE);
    ASSERT_FALSE(module.empty());
    const std::string sox =
        dir.write("bin/sox", "#!/bin/sh\necho $$ >\"$TMPDIR/../sox.pid\"\nexec sleep 30\n");
    chmod(sox.c_str(), 0755);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        std::filesystem::create_directory(dir.path("tmp"));
        std::string tmpdir = "TMPDIR=" + dir.path("tmp"),
                    path = "PATH=" + dir.path("bin") + ":/usr/bin:/bin";
        char *env[] = {tmpdir.data(), path.data(), nullptr};
        const char *argv[] = {MUSIC_REPORT, "--spectrogram", "s.png", module.c_str(), nullptr};
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addchdir_np(&files, dir.path("").c_str());
        pid_t pid;
        ASSERT_EQ(posix_spawn(&pid, MUSIC_REPORT, &files, nullptr, const_cast<char **>(argv), env),
                  0);
        posix_spawn_file_actions_destroy(&files);
        for (int i = 0; i < 1000 && !std::filesystem::exists(dir.path("sox.pid")); i++)
            usleep(10000);
        pid_t sox_pid = 0;
        for (int i = 0; i < 100 && sox_pid <= 0; i++, usleep(10000))
            std::ifstream(dir.path("sox.pid")) >> sox_pid;
        kill(pid, sig);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << sig;
        EXPECT_TRUE(std::filesystem::is_empty(dir.path("tmp"))) << sig;
        for (int i = 0; i < 200 && running(sox_pid); i++)
            usleep(10000);
        EXPECT_GT(sox_pid, 0);
        EXPECT_FALSE(running(sox_pid)) << sig;
        std::filesystem::remove(dir.path("sox.pid"));
    }
    std::size_t files = 0;
    for ([[maybe_unused]] const auto &e : std::filesystem::directory_iterator(dir.path()))
        files++;
    EXPECT_EQ(files, 4u);  // the score, the module, bin/ and tmp/
}

}  // namespace
