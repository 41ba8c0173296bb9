// Start-up checks, the fade-out and whole runs of the show binary.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "child.h"
#include "recorder.h"
#include "show/show.h"
#include "sound_double.h"
#include "stream_format.h"
#include "temp_dir.h"

using std::string;
using std::vector;

namespace {

struct StartSound : ::testing::Test {
    void SetUp() override { sound_double_reset(); }
};

int start_with_output(string &out) {
    ::testing::internal::CaptureStdout();
    int r = start_sound();
    out = ::testing::internal::GetCapturedStdout();
    return r;
}

// The cursor-ups that begin every frame.
const string FRAME_START = [] {
    string s;
    for (int i = 0; i < FRAME_CURSOR_UPS; i++)
        s += CURSOR_UP;
    return s;
}();

string read_file(const string &path) {
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

}  // namespace

TEST_F(StartSound, SucceedsWithCallsInOrderAndPrintsNothing) {
    string out;
    EXPECT_EQ(start_with_output(out), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(sound_double.calls, (vector<string>{"GetVersion", "Init 32000 64 0",
                                                  "LoadSong vorbel.xm", "LoadSong knark.xm"}));
    ASSERT_NE(mod, nullptr);
    ASSERT_NE(knark, nullptr);
}

TEST_F(StartSound, EachFailureHasItsMessageAndStopsThere) {
    struct failure {
        const char *what;
        const char *message;
        size_t calls;
    };
    for (failure f :
         {failure{"version", "ARGH! fel version av fmod\n", 1},
          failure{"init", "INIT SOUND error\ndemo: refused by the sound double\n", 2},
          failure{"vorbel.xm",
                  "Loadsong error\ndemo: cannot load vorbel.xm: refused by the sound double\n", 3},
          failure{"knark.xm",
                  "Loadsong error\ndemo: cannot load knark.xm: refused by the sound double\n",
                  4}}) {
        sound_double_reset();
        if (string(f.what) == "version")
            sound_double.version = 3.74f;
        else if (string(f.what) == "init")
            sound_double.fail_init = true;
        else
            sound_double.fail_load = f.what;
        string out;
        EXPECT_EQ(start_with_output(out), 1) << f.what;
        EXPECT_EQ(out, f.message) << f.what;
        EXPECT_EQ(sound_double.calls.size(), f.calls) << f.what;
    }
}

TEST_F(StartSound, VersionExactlyAtTheLimitIsAccepted) {
    sound_double.version = 3.75f;
    string out;
    EXPECT_EQ(start_with_output(out), 0);
}

TEST(FadeOut, FromFullVolumeTakesTwentySixStepsEndingOnceBelowZero) {
    for (auto [start, steps, last] :
         {std::tuple{256, 26, -4}, {0, 1, -10}, {100, 11, -10}, {5, 1, -5}, {-3, 0, 0}}) {
        sound_double_reset();
        sound_double.start_volume = start;
        string out;
        ASSERT_EQ(start_with_output(out), 0);
        sound_double.calls.clear();
        recorder_start();
        fade_out();
        recorder_stop();
        FMUSIC_FreeSong(mod);
        FMUSIC_FreeSong(knark);

        vector<int> set;
        for (const string &c : sound_double.calls)
            if (c.rfind("SetMasterVolume vorbel.xm ", 0) == 0)
                set.push_back(std::stoi(c.substr(26)));
        ASSERT_EQ(static_cast<int>(set.size()), steps) << "from " << start;
        EXPECT_EQ(sound_double.calls.front(), "GetMasterVolume vorbel.xm");
        EXPECT_EQ(static_cast<int>(recorded().size()), steps);
        EXPECT_EQ(recorded_total(), 100000L * steps);
        // From full volume the fade is the end card's time in the timeline.
        if (start == 256) {
            EXPECT_EQ(recorded_total(), SHOW_END_US - timeline[SCENE_END].start_us);
        }
        if (steps == 0)
            continue;
        EXPECT_EQ(set.back(), last) << "from " << start;
        for (size_t i = 0; i + 1 < set.size(); i++) {
            EXPECT_GE(set[i], 0);
            EXPECT_EQ(set[i], start - 10 * static_cast<int>(i + 1));
        }
    }
}

// The show binary linked against the double, run as a child process.
TEST(ShowBinary, FailuresPrintOnlyTheirMessageAndExitOne) {
    for (auto [env, message] :
         {std::pair{"SOUND_DOUBLE_VERSION=3.7", "ARGH! fel version av fmod\n"},
          {"SOUND_DOUBLE_FAIL=init", "INIT SOUND error\ndemo: refused by the sound double\n"},
          {"SOUND_DOUBLE_FAIL=vorbel.xm",
           "Loadsong error\ndemo: cannot load vorbel.xm: refused by the sound double\n"},
          {"SOUND_DOUBLE_FAIL=knark.xm",
           "Loadsong error\ndemo: cannot load knark.xm: refused by the sound double\n"}}) {
        child_result r = run_child(string("env ") + env + " " + DEMO_WITH_DOUBLE + " 2>/dev/null");
        EXPECT_EQ(r.status, 1) << env;
        EXPECT_EQ(r.out, message) << env;  // no terminal reset, no frame
    }
}

TEST(ShowBinary, RunsToTheEndWithoutArtAndExitsZero) {
    temp_dir dir;
    string log = dir.path("calls");
    child_result r =
        run_child("cd " + dir.path().string() +
                  " && SOUND_DOUBLE_SPEEDUP=0 SOUND_DOUBLE_LOG=" + log + " " + DEMO_WITH_DOUBLE);
    EXPECT_EQ(r.status, 0);
    // Terminal reset and hidden cursor first, then the 24 reserved lines.
    ASSERT_GE(r.out.size(), 8u + RESERVE_BYTES);
    EXPECT_EQ(r.out.substr(0, 8), "\x1b"
                                  "c"
                                  "\x1b[?25l");
    EXPECT_EQ(r.out.substr(8, 81), string(80, ' ') + "\n");

    std::istringstream calls(read_file(log));
    vector<string> lines;
    for (string l; std::getline(calls, l);)
        lines.push_back(l);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[lines.size() - 2], "FreeSong vorbel.xm");
    EXPECT_EQ(lines.back(), "Close");
    EXPECT_EQ(lines[lines.size() - 3], "SetMasterVolume vorbel.xm -4");
}

// The render thread is held up in a write to a pipe nobody reads yet while the
// show ends: the exit waits for that frame, so the stream ends with it whole.
TEST(ShowBinary, EndsWithAWholeFrameEvenWhenTheReaderLags) {
    temp_dir dir;
    child_result r = run_child("cd " + dir.path().string() + " && SOUND_DOUBLE_SPEEDUP=200 " +
                               DEMO_WITH_DOUBLE + " | (sleep 2; cat)");
    size_t last = r.out.rfind(FRAME_START);
    ASSERT_NE(last, string::npos);
    // A whole frame of cells with one-digit attributes and colours 0 to 7.
    EXPECT_EQ(r.out.size() - last, FRAME_BYTES);
    EXPECT_EQ(r.out.back(), '\n');
}

// With standard output gone the show stops at once with status 1 and says why.
TEST(ShowBinary, FailingOutputEndsTheShowWithStatusOne) {
    for (auto [redirect, reason] :
         {std::pair{">/dev/full", "No space left on device"}, {">&-", "Bad file descriptor"}}) {
        child_result r = run_child(string("SOUND_DOUBLE_SPEEDUP=1 timeout 20 ") + DEMO_WITH_DOUBLE +
                                   " 2>&1 " + redirect);
        EXPECT_EQ(r.status, 1) << redirect;
        EXPECT_EQ(r.out, string("demo: cannot write to standard output: ") + reason + "\n");
    }
}

// Without a render thread nothing would be shown: the show says why on standard
// error, releases sound, shows the cursor again and ends with status 1.
TEST(ShowBinary, RenderThreadThatCannotStartEndsTheShowWithStatusOne) {
    temp_dir dir;
    const string log = dir.path("calls");
    child_result r = run_child("SOUND_DOUBLE_LOG=" + log + " THREAD_DOUBLE_FAIL=1 timeout 20 " +
                               DEMO_WITH_DOUBLE + " 2>" + dir.path("err"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "\x1b"
                     "c"
                     "\x1b[?25l\x1b[0m\x1b[?25h");  // the cursor shown again
    EXPECT_EQ(read_file(dir.path("err")),
              "demo: cannot start the render thread: Resource temporarily unavailable\n");
    EXPECT_EQ(read_file(log), "GetVersion\nInit 32000 64 0\nLoadSong vorbel.xm\nLoadSong knark.xm\n"
                              "FreeSong vorbel.xm\nFreeSong knark.xm\nClose\n");
}

// Art that is missing or no regular file (a FIFO nobody writes, a folder, a
// device) is drawn as nothing without holding the show up; every scene thread
// is refused. After the show each is said on standard error, and the show ends
// with status 1 for the threads it went without.
TEST(ShowBinary, MissingArtAndRefusedThreadsAreSaidAfterTheShow) {
    temp_dir dir;
    const string in_dir = "cd " + dir.path().string() + " && ";
    ASSERT_EQ(run_child(in_dir + "cp -r " SOURCE_DIR "/grafik . && cd grafik && "
                                 "rm intro1 ching_intro2 smile end && mkfifo intro1 && "
                                 "ln -s /dev/zero smile && mkdir end")
                  .status,
              0);
    child_result r =
        run_child(in_dir + "THREAD_DOUBLE_FAIL_AFTER=1 SOUND_DOUBLE_SPEEDUP=0 timeout 20 " +
                  DEMO_WITH_DOUBLE + " 2>err");
    EXPECT_EQ(r.status, 1);
    string want = "demo: cannot load grafik/intro1: not a regular file\n"
                  "demo: cannot load grafik/ching_intro2: No such file or directory\n"
                  "demo: cannot load grafik/smile: not a regular file\n"
                  "demo: cannot load grafik/end: not a regular file\n";
    auto refused = [&want](int n, const string &name) {
        for (int i = 0; i < n; i++)
            want += "demo: cannot start " + name + ": Resource temporarily unavailable\n";
    };
    refused(119, "a border crawler");
    refused(2, "a signal wave");
    refused(1, "the signal card");
    refused(10, "a fireworks rocket");
    refused(1, "the worm on layer 1");
    EXPECT_EQ(read_file(dir.path("err")), want);
}

// The real show binary with the real sound library: the show's own word for a
// module it cannot load, then which and why (a missing one, a FIFO it does not
// wait on); a refused audio thread is said as such.
TEST(ShowBinary, RealBinarySaysWhichModuleAndWhyAndWhichThread) {
    temp_dir dir;
    const string in_dir = "cd " + dir.path().string() + " && SDL_AUDIODRIVER=dummy ";
    child_result r = run_child(in_dir + DEMO_BINARY + " 2>/dev/null");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Loadsong error\ndemo: cannot load vorbel.xm: No such file or directory\n");

    ASSERT_EQ(
        run_child("cd " + dir.path().string() + " && cp " RUN_DIR "/vorbel.xm . && mkfifo knark.xm")
            .status,
        0);
    r = run_child(in_dir + "timeout 20 " + DEMO_BINARY + " 2>/dev/null");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Loadsong error\ndemo: cannot load knark.xm: is a FIFO, not a module file\n");

#ifdef REFUSE_THREADS
    // Every thread refused: the audio thread is the first.
    r = run_child(in_dir + "LD_PRELOAD=" REFUSE_THREADS " REFUSE_THREADS_AFTER=0 timeout 20 " +
                  DEMO_BINARY + " 2>/dev/null");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "INIT SOUND error\ndemo: cannot start the audio thread: Resource "
                     "temporarily unavailable\n");
#endif
}

// The whole show with its real art, the main thread ten times faster than
// normal, while the render thread and the crawlers keep their pace. Under
// ThreadSanitizer this run shows that the unlocked sharing is free of races.
TEST(ShowBinary, WholeShowWithArtRunsWithAllThreadsAndPrintsWholeFrames) {
    temp_dir dir;
    child_result r = run_child("cd " + dir.path().string() +
                               " && cp -r " SOURCE_DIR "/grafik . && SOUND_DOUBLE_SPEEDUP=10 " +
                               DEMO_WITH_DOUBLE + " 2>err");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_file(dir.path("err")), "");  // nothing missing, nothing refused
    // After the reset, the hidden cursor and the 24 reserved lines come whole
    // frames, up to the last.
    size_t frame_start = 8 + RESERVE_BYTES;
    ASSERT_GT(r.out.size(), frame_start);
    size_t frames = 0;
    for (size_t at = r.out.find(FRAME_START, frame_start); at != string::npos;
         at = r.out.find(FRAME_START, at + 1))
        frames++;
    EXPECT_GT(frames, 20u);
    EXPECT_EQ(r.out.compare(frame_start, FRAME_START.size(), FRAME_START), 0);
    EXPECT_EQ(r.out.back(), '\n');
}
