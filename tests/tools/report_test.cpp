// The music report's figures on small modules the tests compile.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "arrange.h"
#include "mix.h"
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

// A tone in tune, then slid 2.5 semitones up, off its note; a hit at 100 Hz.
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
             // The mix block: neither kick nor lead; middle C is loudest,
             // the thump's 100 Hz an octave band under it.
             "kick      no kick",
             "lead      no lead",
             "octaves   dB against the loudest (250):  31 -40.4  63 -29.9  125 -7.0  250 0.0",
             "seam      the loop is too short to measure",
         })
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
}

child_result report(const std::string &args) {
    return probe::run(std::string(MUSIC_REPORT) + " " + args);
}

// The mix block of the report on a score compiled in `dir`, printed here
// from the same renderings the report makes (the report's other figures
// cost far more and are left out), or the compiler's failure.
std::string report_on(const temp_dir &dir, const std::string &name, const std::string &score) {
    const std::string module = probe::compile(dir, name, score);
    if (module.empty())
        return "the score " + name + " did not compile";
    const player loaded(module);
    const rendering song = render_song(module);
    std::vector<channel_study> channels;
    for (int ch = 0; ch < loaded.info.mod->chn; ch++)
        channels.push_back(study_channel(render_song(module, ch).frames));
    testing::internal::CaptureStdout();
    print_mix(module, *loaded.info.mod, song, channels);
    return testing::internal::GetCapturedStdout();
}

void expect_lines(const std::string &out, std::initializer_list<const char *> lines) {
    for (const char *line : lines)
        EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
}

// A score with its one `mark` put as `by`.
std::string with(std::string score, const std::string &mark, const std::string &by) {
    return score.replace(score.find(mark), mark.size(), by);
}

// A kick on every beat over a sawtooth bass at A-1, which either holds its
// note through the kicks or is retriggered after each one and ducked to a
// sixteenth of its volume on the kick's rows. The duck takes the bass 20 dB
// down at once; the band's filters carry some of its energy from before the
// kick into the kick's first 50 ms.
const char *KICK_AND_BASS = R"(
channels 2
instrument 01 hit "kick"
  wave sine
  freq 200 55 25
  length 250
  decay 60
instrument 02 tone "bass"
  wave saw
  lowpass 1200
  volume 40
track kicks 16 01
  00 C-4
  04 C-4
  08 C-4
  12 C-4
track held 16 02
  02 A-1
track ducked 16 02
  00 ... .. 04
  02 A-1
  04 ... .. 04
  06 A-1
  08 ... .. 04
  10 A-1
  12 ... .. 04
  14 A-1
pattern p 32
  tracks kicks BASS
order p
)";

TEST(MusicReport, KickOverABassDuckedAndNot) {
    temp_dir dir;
    expect_lines(report_on(dir, "held", with(KICK_AND_BASS, "BASS", "held")),
                 {"kick      8 hits; in each one's first 50 ms at 30-150 Hz, median: +1.9 dB over "
                  "the bass (channel 1), the mix rising +3.4 dB from the 50 ms before",
                  "octaves   dB against the loudest (63):  31 -21.5  63 0.0  125 -4.7"});
    expect_lines(report_on(dir, "ducked", with(KICK_AND_BASS, "BASS", "ducked")),
                 {"median: +7.6 dB over the bass (channel 1), the mix rising +2.7 dB",
                  "harmony   2 bars with bass, 0 with two roots; no four bars in a row with bass"});
}

// A lead on a square wave, its echo three rows later on the next channel,
// and a quiet pad: the echo quiet and right of centre, or nearly as loud as
// the lead and hard right, where it sounds louder than the lead at the centre.
const char *LEAD_AND_ECHO = R"(
channels 3
instrument 01 tone "lead"
  wave square
  volume 48
instrument 02 tone "lead echo"
  like 01
  ECHO
instrument 03 tone "pad"
  wave saw
  volume 12
track tune 16 01
  00 A-4
  04 C-5
  08 E-5
  12 C-5
pattern p 32
  tracks tune tune>3@02
  00 ... | ... | A-3 03
order p
)";

TEST(MusicReport, LeadOverAnEchoQuietAndLoud) {
    temp_dir dir;
    expect_lines(report_on(dir, "quiet", with(LEAD_AND_ECHO, "ECHO", "volume 12\n  pan 64")),
                 {"lead      channel 0, per 7.5 s window it sounds in",
                  "at    0.0 s  -11.7 LUFS: +11.5 LU over channel 1, +11.5 LU over its echo",
                  "1 of 1 windows with the lead 3 LU or more over every other melodic part",
                  "echo      channel 1, pan +64 as heard, 11.5 to 11.5 LU under the lead"});
    expect_lines(report_on(dir, "loud", with(LEAD_AND_ECHO, "ECHO", "volume 40\n  pan 120")),
                 {"0 of 1 windows with the lead 3 LU or more",
                  "echo      channel 1, pan +120 as heard, -0.7 to -0.7 LU under the lead"});
    // The echo stops 6.24 s in: the later windows, where it does not play
    // (the loudness filters' tail reads some thousands of LU down), count
    // neither for its margin nor for the lead's.
    const std::string later =
        with(with(LEAD_AND_ECHO, "ECHO", "volume 12\n  pan 64"), "order p",
             "pattern q 20\n  tracks tune tune>3@02\n  00 ... | ... | A-3 03\n"
             "pattern r 32\n  tracks tune\n  00 ... | === | A-3 03\norder p q r r r");
    expect_lines(report_on(dir, "later", later),
                 {"at    7.5 s  -11.7 LUFS: +17.2 LU over channel 2\n",
                  "echo      channel 1, pan +64 as heard, 12.1 to 12.1 LU under the lead"});
}

// Eight bars of kick and bass, eight more with a lead over them at half the
// global volume, eight without the kick (a break), played fast (a bar lasts
// 0.48 s): the lead comes in at the first boundary, the second lies in the
// break. The song comes round to its loud start from the break.
TEST(MusicReport, LayersStepsAndTheSeamOfAnArrangement) {
    temp_dir dir;
    const std::string out = report_on(dir, "arrangement", R"(
channels 3
bpm 250
speed 3
instrument 01 hit "kick"
  wave sine
  freq 200 55 25
  length 250
  decay 60
instrument 02 tone "bass"
  wave saw
  volume 30
instrument 03 tone "lead"
  wave square
  volume 40
track kicks 16 01
  00 C-4
  04 C-4
  08 C-4
  12 C-4
track bass 16 02
  02 A-2
track tune 16 03
  00 A-4
  08 E-5
pattern a 64
  tracks kicks bass
  00 ... | ... | ... .. .. G40
pattern b 64
  tracks kicks bass tune
  00 ... | ... | ... .. .. G20
pattern c 64
  tracks . bass tune
  00 ... | ... | ... .. .. G30
order a a b b c c
)");
    expect_lines(out, {"layers    melodic channels sounding for most of each 8 bars (3.84 s):",
                       "bar   9 at   3.84 s: 1 2                      in 2, out -\n",
                       "bar  17 at   7.68 s: 1 2                      in -, out - (break)\n",
                       "1 of 1 boundaries outside the break bring a layer in or out (100%)",
                       "neighbouring 7.5 s windows: 7.5 s +2.9; 1 in all",
                       "seam      last 3.75 s -15.2 LUFS, first 3.75 s after the restart -18.0 "
                       "LUFS: 2.8 LU apart; the restart plays kick"});
}

// Half-bar roots (C = 0, -1 silent): Am F C G twice, the same a tone up,
// then four bars with two roots each and a bar without bass. The commonest
// sequence is A F C G's: bars 1-8, its rotations (F C G A at bar 2 ...)
// count apart, and B G D A (bars 9-12) is the same transposed.
TEST(MusicReport, HarmonyCountsSequencesUnderTransposition) {
    std::vector<int> roots;
    for (int pass = 0; pass < 3; pass++)
        for (int r : {9, 5, 0, 7})
            roots.insert(roots.end(), 2, (r + 2 * (pass == 2)) % 12);
    roots.insert(roots.end(), {2, 7, 0, 5, 10, 4, 9, 4, -1, -1});
    const harmony_figures h = measure_harmony(roots);
    EXPECT_EQ(h.bars_with_bass, 16);
    EXPECT_EQ(h.covered, 12);
    EXPECT_EQ(h.first_bar, 0);
    EXPECT_EQ(h.two_chords, 4);
}

// Six bars of lead: a figure, the same a fifth up (a repeat), a pickup bar,
// a rest answered by channel 2, two bars, a rest nobody answers.
TEST(MusicReport, LeadRepeatsPickupsRunsAndAnswers) {
    song_bars s;
    s.lead = 0;
    s.echo = 1;
    s.melodic = {true, true, true, false};
    const std::vector<std::vector<std::pair<int, int>>> lead = {
        {{0, 57}, {6, 60}}, {{0, 64}, {6, 67}}, {{4, 57}}, {}, {{2, 60}}, {{0, 64}}, {}};
    for (std::size_t b = 0; b < lead.size(); b++) {
        bar_notes n;
        n.lead = lead[b];
        n.struck = {static_cast<int>(lead[b].size()), static_cast<int>(lead[b].size()),
                    b == 3 ? 3 : 0, 1};  // channel 3 (drums) strikes everywhere
        s.bars.push_back(n);
    }
    const lead_figures l = measure_lead(s, {true, true, true, false, true, true, false});
    EXPECT_EQ(l.bars, 5);
    EXPECT_EQ(l.striking, 5);
    EXPECT_EQ(l.repeats, 1);
    EXPECT_EQ(l.late, 2);
    EXPECT_EQ(l.longest_run, 3);
    EXPECT_EQ(l.rests, 2);
    EXPECT_EQ(l.answered, 1);
}

// Bars of kick, snare and bass played fast (a beat lasts 0.12 s): four on
// the floor, a stop after beat two, the drop, half-time, a broken bar and a
// fill. The kick carries a click; the snare's body sits at G3.
TEST(MusicReport, ArrivalsKickAndGrooveOfAnArrangement) {
    temp_dir dir;
    const std::string out = report_on(dir, "groove", R"(
channels 3
bpm 250
speed 3
instrument 01 hit "kick"
  wave sine
  freq 200 55 25
  length 250
  decay 60
  noise 30 2
instrument 02 hit "snare"
  wave sine
  freq 320 196 25
  length 150
  decay 50
  noise 60 40
instrument 03 tone "bass"
  wave saw
  volume 30
pattern four 16
  00 C-4 01 | ... | ...
  02 ... | ... | A-2 03
  04 C-4 01 | C-4 02
  08 C-4 01
  12 C-4 01 | C-4 02
pattern stop 16
  00 C-4 01 | ... | ...
  02 ... | ... | A-2 03
  04 C-4 01 | C-4 02 | ===
pattern half 16
  00 C-4 01 | ... | ...
  02 ... | ... | F-2 03
  08 ... | C-4 02 | G-2 03
  10 C-4 01
pattern broken 16
  00 C-4 01 | ... | ...
  02 ... | ... | E-2 03
  04 ... | C-4 02
  06 C-4 01
  10 C-4 01
  12 ... | C-4 02
pattern fill 16
  00 C-4 01 | ... | ...
  02 ... | ... | E-2 03
  04 C-4 01 | C-4 02
  08 C-4 01 | C-4 02
  10 ... | C-4 02
  12 C-4 01 | C-4 02
  14 ... | C-4 02
  15 ... | C-4 02
order four four four stop four half half broken fill four
)");
    // The stop leaves the beat before the drop near silence; the snare's
    // body covers the kick on beats 2 and 4; the half-time bars are broken too.
    expect_lines(out, {"drop      bar 5 at 1.92 s (the kick back after stopping): its first beat "
                       "-20.5 LUFS, +43.9 LU over the beat before",
                       "kick top  0.1% of the kick's energy above 1 kHz; in each hit's first 40 ms "
                       "at 150-400 Hz over the rest of the mix, median: beats 1 and 3 +2.6 dB "
                       "(16), beats 2 and 4 -2.7 dB (13), off the beat +1.0 dB (4)",
                       "harmony   10 bars with bass, 2 with two roots;", "covers 5 bars (50%)",
                       "groove    10 kicked bars: plain four on the floor 6 (60%); the commonest "
                       "kick and snare bar 5 (50%); half-time 2, broken 3",
                       "stops: 1.56 s for 0.36 s; 1 in all",
                       "fills before 1 of 2 eight-bar boundaries"});
}

// A hook (A E A: down a fourth and back) over A, bars over F, a rest the
// bells answer, and the hook's opening back twice: once after a bar over E,
// its dominant, once after F. The eleven later F bars and the second return
// repeat earlier bars.
TEST(MusicReport, TheHooksReturnsAndTheLeadsPhrases) {
    temp_dir dir;
    const std::string out = report_on(dir, "hook", R"(
channels 3
bpm 250
speed 3
instrument 01 tone "bass"
  wave saw
  volume 30
instrument 02 tone "lead"
  wave square
  volume 40
instrument 03 tone "bell"
  wave sine
  volume 20
pattern h 16
  00 A-2 01 | A-4 02
  03 ... | E-4
  06 ... | A-4
  08 ... | C-5
pattern x 16
  00 F-2 01 | D-5 02
  04 ... | C-5
  08 ... | B-4
pattern r 16
  00 G-2 01 | === | C-5 03
  04 ... | ... | E-5
pattern e 16
  00 E-2 01
  02 ... | B-4 02
  06 ... | G#4
pattern b 16
  00 A-2 01
  02 ... | A-4 02
  04 ... | E-4
  06 ... | A-4
  12 ... | B-4
order h x x x r x x e b x x x x x x x b
)");
    expect_lines(out, {"hook at bar 1; returns: bar 9 over A after E (a fifth above: dominant); "
                       "bar 17 over A after F; 1 of 2 after a dominant",
                       "lead bars 16 sounding; of 16 striking a note, 12 repeat an earlier bar "
                       "(transposed or not), 3 start after the downbeat (19%); longest run "
                       "without a bar of rest 12; 1 of 1 rests answered by another voice"});
}

// The spectrogram spans the stretch asked for, also drawn at a low rate: sox
// steps a whole number of samples a column, so the picture of the 1.92 s
// song up to 500 Hz (1920 samples at 1000 Hz) has 960 columns, and without a
// top 1597 (84672 samples, 53 a column); sox adds 144 of its own.
TEST(MusicReport, ASpectrogramSpansItsStretch) {
    temp_dir dir;
    const std::string module = probe::compile(dir, "small", SCORE);
    ASSERT_FALSE(module.empty());
    for (const auto &[top, width] : {std::pair{"--top 500 ", 1104u}, std::pair{"", 1741u}}) {
        const std::string png = dir.path("s.png");
        const child_result r =
            report(top + std::string("--spectrogram ") + png + " " + probe::quote(module));
        ASSERT_EQ(r.status, 0) << r.out;
        std::ifstream in(png, std::ios::binary);
        unsigned char header[24] = {};
        in.read(reinterpret_cast<char *>(header), sizeof header);
        EXPECT_EQ(header[16] << 24 | header[17] << 16 | header[18] << 8 | header[19], width) << top;
    }
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
    const std::string wav = dir.path("w.wav");
    const std::string hostile = dir.path("x';touch INJECTED;'.xm");
    std::filesystem::copy_file(module, hostile);
    const struct {
        std::string args;
        int status;
        std::string message;
    } CASES[] = {
        {"--from -5 --wav x.wav " + module, 2, "--from takes a number from 0 to 1800, not '-5'"},
        {"--from 1 --to 0.5 --wav x.wav " + module, 2, "--to 0.5 must lie after --from 1"},
        {"--from 5 --wav x.wav " + module, 2, "past the song's end at 1.92 s"},
        // Ranges are refused before anything is rendered or written.
        {"--to 1e15 --wav " + wav + " " + module, 2, "--to takes a number from 0 to 1800"},
        {"--from 1 --to 1.00000001 --wav " + wav + " " + module, 2, "shorter than one sample"},
        {"--top 1e10 --spectrogram " + wav + " " + module, 2, "--top takes a number from 50 to"},
        {"--top 0.1 --spectrogram " + wav + " " + module, 2, "not '0.1'"},
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
    EXPECT_FALSE(std::filesystem::exists(wav));
    EXPECT_GT(std::filesystem::file_size(dir.path("s.png")), 1000u);
}

// INT, TERM or HUP while sox draws take the temporary WAV, the half-made
// picture and sox with the report, even though sox, as the real one does,
// writes its picture a moment after it is asked to end (the stand-in waits,
// and on TERM writes to the path it was given after 0.3 s). The three
// reports run side by side, each in a folder of its own.
TEST(MusicReport, ASignalLeavesNoTemporaryFile) {
    temp_dir dir;
    const std::string module = probe::compile(dir, "small", SCORE);
    ASSERT_FALSE(module.empty());
    const std::string sox =
        dir.write("bin/sox", "#!/bin/sh\nfor a; do out=$a; done\n"
                             "trap 'kill $!; sleep 0.3; echo late >\"$out\"; exit 143' TERM\n"
                             "echo $$ >\"$TMPDIR/../sox.pid\"\nsleep 60 & wait\n");
    chmod(sox.c_str(), 0755);
    const int SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};
    pid_t reports[3];
    for (int k = 0; k < 3; k++) {
        const std::string home = dir.path(std::to_string(k));
        std::filesystem::create_directories(home + "/tmp");
        std::string tmpdir = "TMPDIR=" + home + "/tmp",
                    path = "PATH=" + dir.path("bin") + ":/usr/bin:/bin";
        char *env[] = {tmpdir.data(), path.data(), nullptr};
        const char *argv[] = {MUSIC_REPORT, "--spectrogram", "s.png", module.c_str(), nullptr};
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addchdir_np(&files, home.c_str());
        ASSERT_EQ(
            posix_spawn(&reports[k], MUSIC_REPORT, &files, nullptr, const_cast<char **>(argv), env),
            0);
        posix_spawn_file_actions_destroy(&files);
    }
    for (int k = 0; k < 3; k++) {
        const std::string home = dir.path(std::to_string(k));
        // Sox starts once the report is rendered and printed (slowly under a sanitizer).
        pid_t sox_pid = 0;
        for (int i = 0; i < 24000 && sox_pid <= 0 && running(reports[k]); i++, usleep(10000))
            std::ifstream(home + "/sox.pid") >> sox_pid;
        ASSERT_GT(sox_pid, 0);
        kill(reports[k], SIGNALS[k]);
        int status = 0;
        ASSERT_EQ(waitpid(reports[k], &status, 0), reports[k]);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGNALS[k]) << SIGNALS[k];
        EXPECT_TRUE(std::filesystem::is_empty(home + "/tmp")) << SIGNALS[k];
        for (int i = 0; i < 200 && running(sox_pid); i++)
            usleep(10000);
        EXPECT_FALSE(running(sox_pid)) << SIGNALS[k];
        std::size_t files = 0;
        for ([[maybe_unused]] const auto &e : std::filesystem::directory_iterator(home))
            files++;
        EXPECT_EQ(files, 2u) << SIGNALS[k];  // tmp/ and sox.pid: no picture, no temporary
    }
}

}  // namespace
