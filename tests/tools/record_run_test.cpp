// A whole recording of a short stand-in show (fake_show.cpp): 40 frames 30 ms
// apart, the screen turning white at frame 20 as a tone starts, 300 ms of
// sound after the last frame, and half a frame at the very end; and the
// stand-in failing in the ways a show can, and the recorder stopped by signals.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "child.h"
#include "temp_dir.h"

namespace {

std::vector<double> numbers(const std::string &text) {
    std::vector<double> v;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            v.push_back(std::atof(line.c_str()));
    return v;
}

std::vector<std::string> cast_lines(const std::string &dir) {
    std::ifstream cast(dir + "/demo.cast");
    std::vector<std::string> lines;
    for (std::string line; std::getline(cast, line);)
        lines.push_back(line);
    return lines;
}

TEST(RecordRun, VideoWithSoundInSyncAndAnAsciicast) {
    temp_dir tmp;
    const std::string dir = tmp.path().string();
    // The white still is taken late in the white frames (1.17 s to the end,
    // about 1.5 s, at the stand-in's pace), so that a loaded machine, which
    // only makes the frames come later, cannot find the screen still black.
    const auto started = std::chrono::steady_clock::now();
    child_result rec =
        run_child(std::string(RECORD_BINARY) + " --run-dir " + dir + " --demo " FAKE_SHOW +
                  " --out " + dir + " --stills white@1.3,black@0.1 2>&1");
    const double ran =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    ASSERT_EQ(rec.status, 0) << rec.out;
    EXPECT_NE(rec.out.find("frames printed 40, frames in the video 40"), std::string::npos)
        << rec.out;
    EXPECT_NE(rec.out.find("the last frame was cut off"), std::string::npos) << rec.out;

    const std::string mp4 = dir + "/demo.mp4";
    EXPECT_EQ(
        run_child("ffprobe -v error -show_entries stream=codec_name,pix_fmt -of csv=p=0 " + mp4)
            .out,
        "h264,yuv420p\naac\n");
    std::vector<double> pts = numbers(
        run_child("ffprobe -v error -select_streams v -show_entries packet=pts_time -of csv=p=0 " +
                  mp4)
            .out);
    ASSERT_EQ(pts.size(), 40u);
    double video = numbers(
        run_child("ffprobe -v error -select_streams v -show_entries stream=duration -of csv=p=0 " +
                  mp4)
            .out)[0];

    // The asciicast: a header, the three writes before the frames, then one
    // line per frame with the same times as the video's, only the cells that
    // changed (none in the last two white frames), or, with --cast-full, the
    // frames whole.
    std::vector<std::string> lines = cast_lines(dir);
    ASSERT_EQ(lines.size(), 44u);
    EXPECT_EQ(lines[0].rfind("{\"version\": 2, \"width\": 80, \"height\": 25, ", 0), 0u);
    // The header names the first frame's time, as its event has it, and the form.
    const std::string first_frame = lines[4].substr(1, lines[4].find(',') - 1);
    EXPECT_NE(lines[0].find(", \"first_frame\": " + first_frame + ", \"frames\": \"compact\", "),
              std::string::npos)
        << lines[0];
    EXPECT_EQ(lines.back().substr(lines.back().size() - 10), ", \"o\", \"\"]") << lines.back();
    std::vector<double> times;
    for (std::size_t k = 1; k < lines.size(); k++)
        times.push_back(std::atof(lines[k].c_str() + 1));
    temp_dir full;
    ASSERT_EQ(run_child(std::string(RECORD_BINARY) + " --cast-full --run-dir " +
                        full.path().string() + " --demo " FAKE_SHOW " --out " +
                        full.path().string() + " 2>&1")
                  .status,
              0);
    lines = cast_lines(full.path().string());
    ASSERT_EQ(lines.size(), 44u);
    EXPECT_NE(lines[0].find(", \"frames\": \"full\", "), std::string::npos) << lines[0];
    EXPECT_EQ(lines.back().find(", \"o\", \"\\u001b[A\\u001b[A"), 9u) << lines.back().substr(0, 40);
    // cast_compact makes it compact, and cast_check takes what it makes as
    // the same cast in the other form.
    const std::string cast = full.path().string() + "/demo.cast";
    const child_result whole = run_child(CAST_CHECK " " + cast);
    ASSERT_EQ(whole.status, 0);
    ASSERT_EQ(run_child(CAST_COMPACT " " + cast + " " + cast + ".compact 2>&1").status, 0);
    const child_result compacted = run_child(CAST_CHECK " " + cast + ".compact 2>&1");
    EXPECT_EQ(compacted.status, 0) << compacted.out;
    std::string facts = whole.out;
    facts.replace(facts.find("frames full"), 11, "frames compact");
    EXPECT_EQ(compacted.out, facts);
    for (std::size_t k = 0; k < 40; k++)
        EXPECT_NEAR(times[3 + k] - times[3], pts[k], 0.0015) << "frame " << k;
    // The frames come at the show's pace or later, never sooner; how much
    // later depends on how busy the machine is, but not later than the run.
    EXPECT_GT(times.back(), 39 * 0.030);
    EXPECT_LT(times.back(), ran);
    // The last frame lasts until the show ends, 300 ms and the mixer's last
    // buffers later; on a busy machine the show's end comes late by about as
    // much as its frames did.
    const double late = std::max(0.0, times.back() - times[3] - 39 * 0.030);
    EXPECT_GT(video - pts.back(), 0.33 - 0.066);
    EXPECT_LT(video - pts.back(), 0.33 + 0.066 + late) << "the frames came " << late << " s late";

    // The tone starts within a frame of the first white frame.
    std::string raw = run_child("ffmpeg -v error -i " + mp4 + " -f s16le -ac 1 -ar 32000 -").out;
    std::size_t first_loud = 0;
    while (first_loud + 1 < raw.size() &&
           std::abs(static_cast<std::int16_t>(static_cast<unsigned char>(raw[first_loud]) |
                                              static_cast<unsigned char>(raw[first_loud + 1])
                                                  << 8)) < 3000)
        first_loud += 2;
    ASSERT_LT(first_loud + 1, raw.size());
    EXPECT_NEAR(static_cast<double>(first_loud / 2) / 32000, pts[20], 0.033);

    // Stills show the terminal at their moments.
    EXPECT_EQ(
        run_child(
            "ffmpeg -v error -i " + dir + "/white.png -i " + dir +
            "/black.png -filter_complex "
            "'[0]crop=1:1:320:200[a];[1]crop=1:1:320:200[b];[a][b]hstack' -f rawvideo -pix_fmt rgb24 -")
            .out,
        std::string("\xaa\xaa\xaa\0\0\0", 6));
}

// The recorder run on the stand-in show, failing as FAKE_SHOW_MODE says.
std::string recorder(const temp_dir &run, const temp_dir &out) {
    return std::string(RECORD_BINARY) + " --give-up 1 --run-dir " + run.path().string() +
           " --demo " FAKE_SHOW " --out " + out.path().string();
}

// What a recording left: the files in its output folder, and a show or its
// helper still running.
std::string leftovers(const temp_dir &run, const temp_dir &out) {
    std::string left;
    for (const auto &e : std::filesystem::directory_iterator(out.path()))
        left += e.path().filename().string() + " ";
    for (const char *who : {"show", "helper"}) {
        pid_t pid = 0;
        std::ifstream(run.path(std::string(who) + ".pid")) >> pid;
        if (running(pid))
            left += std::string("the ") + who + ", still running ";
    }
    return left;
}

TEST(RecordFailure, EachSaysWhatLeavesNothingAndExitsNonZero) {
    temp_dir bin;
    const std::string broken =
        bin.write("broken/ffmpeg", "#!/bin/sh\necho 'frame=1'; echo 'No space left' >&2; exit 1\n");
    chmod(broken.c_str(), 0755);
    std::filesystem::create_directory(bin.path("taken"));
    std::filesystem::create_directory(bin.path("taken/contact.png"));
    bin.write("taken/demo.cast", "a font");
    ASSERT_EQ(mkfifo(bin.path("fifo").c_str(), 0600), 0);
    std::string many_stills = "0";
    for (int k = 1; k <= 100; k++)
        many_stills += "," + std::to_string(k);
    struct failure {
        std::string env, args, message;
        int status;
    } cases[] = {
        {"FAKE_SHOW_MODE=silent", "", "the show printed nothing for 1 s; it is given up", 1},
        {"FAKE_SHOW_MODE=garbage", "",
         "malformed stream at byte 8 (before frame 1): expected the 80 spaces of a reserved line",
         1},
        {"FAKE_SHOW_MODE=exit3", "",
         "the show exited with status 3; it printed: cannot open the sound device ", 1},
        {"FAKE_SHOW_MODE=die", "", "the show exited with status 137", 1},
        {"PATH=" + bin.path("broken"), "",
         "ffmpeg stopped encoding the video (status 1): No space left", 1},
        {"PATH=" + bin.path("none"), "", "ffmpeg is not installed (no ffmpeg on the PATH)", 1},
        {"", "--out " + bin.path("none"), "the output folder " + bin.path("none") + " is not", 1},
        {"", "--give-up 0", "--give-up takes a number from 1 to 3600, not '0'", 2},
        {"", "--crf 2.5", "--crf takes a whole number from 0 to 51, not '2.5'", 2},
        // Stills: a bounded number, each taken or the recording fails.
        {"", "--stills " + many_stills, "--stills takes at most 100 stills", 2},
        {"", "--stills x@100", "still x at 100.00 s is after the end of the show at ", 1},
        // A font that is no file is named for what it is, and a FIFO holds nothing up.
        {"", "--font " + bin.path("taken"),
         "cannot read the font " + bin.path("taken") + ": it is a folder", 1},
        {"", "--font " + bin.path("fifo"),
         "cannot read the font " + bin.path("fifo") + ": it is not a regular file", 1},
        {"", "--stills a@-1", "a still is NAME@SECONDS or SECONDS, not 'a@-1'", 2},
        {"", "--stills contact@0", "a still cannot be named contact", 2},
        {"", "--stills a@1,b@2,a@3", "two stills are named a", 2},
        {"", "--stills 1 --out " + bin.path("taken"),
         bin.path("taken") + "/contact.png is a folder; the output is written only as", 1},
        {"", "--out " + bin.path("taken") + " --font " + bin.path("taken/demo.cast"),
         bin.path("taken") + "/demo.cast is the input " + bin.path("taken/demo.cast"), 1},
    };
    for (const failure &c : cases) {
        temp_dir run, out;
        child_result r = run_child(c.env + " " + recorder(run, out) + " " + c.args + " 2>&1");
        EXPECT_EQ(r.status, c.status) << c.env << c.args;
        EXPECT_NE(r.out.find("record: " + c.message), std::string::npos) << r.out;
        EXPECT_EQ(leftovers(run, out), "") << c.env << c.args;
    }
    EXPECT_EQ(std::filesystem::is_directory(bin.path("taken/contact.png")), true);
}

// One recorder at a time in a folder: the second is refused while the first
// runs, and the folder is free again once it has gone.
TEST(RecordFailure, ASecondRecorderIntoTheSameFolderIsRefused) {
    temp_dir run, out, run2;
    child_result r = run_child("FAKE_SHOW_MODE=forever " + recorder(run, out) +
                               " 2>/dev/null & sleep 0.5; FAKE_SHOW_MODE=silent " +
                               recorder(run2, out) + " 2>&1; echo $?; kill $!; wait $!");
    EXPECT_EQ(r.out, "record: another recorder is recording into " + out.path().string() + "\n1\n");
    EXPECT_EQ(leftovers(run, out), "");
    EXPECT_EQ(leftovers(run2, out), "");
}

TEST(RecordFailure, StopSignalsEndTheShowAndLeaveNothing) {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        temp_dir run, out;
        child_result r = run_child("FAKE_SHOW_MODE=forever " + recorder(run, out) +
                                   " 2>/dev/null & sleep 0.5; kill -" + std::to_string(sig) +
                                   " $!; wait $!; echo $?");
        EXPECT_EQ(r.out, std::to_string(128 + sig) + "\n");
        EXPECT_EQ(leftovers(run, out), "") << "signal " << sig;
    }
}

}  // namespace
