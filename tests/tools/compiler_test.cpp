// The module compiler: a small score goes through xmc and comes back out of
// libxmp as written; malformed scores are refused with their line number.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "listen.h"
#include "module_probe.h"
#include "notes.h"
#include "score.h"

namespace {

const char *SMALL_SCORE = R"(; a small score touching every part of the notation
title roundtrip
bpm 130
speed 5
channels 3

instrument 01 tone "lead"
  wave square 25
  volume 30
  pan -64
  env 0:64 8:32 20:16
  sustain 1
  fadeout 512

instrument 03 hit "kick"
  wave sine
  freq 150 40 50
  length 200
  decay 60
  noise 10
  bits 8

instrument 04 tone "echo"
  like 01
  volume 20

track beat 4 03
  00 C-4

track line 8 01
  00 C-5
  04 E-5 .. 30 0C3

pattern a 8
  tracks beat . .
  00 ... | A-4 01 20 | .
  02 ... | ===
  07 ... | ... | ... .. .. F07

pattern b 16
  tracks line>2@04 line+2 line-12@03

order a b a
restart 1
)";

// libxmp keeps notes one octave above XM's numbering.
int xmp_note(const std::string &name) {
    int k = 0;
    while (name.compare(0, 2, NOTE_NAMES[k]) != 0)
        k++;
    return k + 12 * (name[2] - '0') + 1 + 12;
}

using probe::xmc;

// Compiles `score` in `dir`, expecting success: the module's path.
std::string compile(const temp_dir &dir, const std::string &name, const std::string &score) {
    const std::string module = probe::compile(dir, name, score);
    EXPECT_FALSE(module.empty()) << name;
    return module;
}

std::vector<uint8_t> read_all(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

class SmallScore : public ::testing::Test {
protected:
    void SetUp() override {
        auto r = xmc(dir.write("small.score", SMALL_SCORE), module);
        ASSERT_EQ(r.status, 0) << r.out;
    }
    temp_dir dir;
    std::string module = dir.path("small.xm");
};

TEST_F(SmallScore, SongSettingsSurviveTheRoundTrip) {
    probe::loaded_module m(module);
    ASSERT_EQ(m.status, 0);
    EXPECT_STREQ(m.mod().name, "roundtrip");
    EXPECT_EQ(m.mod().chn, 3);
    EXPECT_EQ(m.mod().bpm, 130);
    EXPECT_EQ(m.mod().spd, 5);
    ASSERT_EQ(m.mod().len, 3);
    EXPECT_EQ(m.mod().rst, 1);
    EXPECT_EQ(m.mod().xxo[0], 0);
    EXPECT_EQ(m.mod().xxo[1], 1);
    EXPECT_EQ(m.mod().xxo[2], 0);
    EXPECT_GE(m.mod().pat, 2);
    EXPECT_EQ(m.mod().xxp[0]->rows, 8);
    EXPECT_EQ(m.mod().xxp[1]->rows, 16);
}

TEST_F(SmallScore, CellsComeBackAsWritten) {
    probe::loaded_module m(module);
    ASSERT_EQ(m.status, 0);
    // Pattern a: the 4-row beat repeats; explicit rows lie on top of it.
    for (int row : {0, 4}) {
        EXPECT_EQ(m.event(0, 0, row).note, xmp_note("C-4")) << row;
        EXPECT_EQ(m.event(0, 0, row).ins, 3) << row;
    }
    EXPECT_EQ(m.event(0, 0, 1).note, 0);
    EXPECT_EQ(m.event(0, 1, 0).note, xmp_note("A-4"));
    EXPECT_EQ(m.event(0, 1, 0).ins, 1);
    EXPECT_EQ(m.event(0, 1, 0).vol, 0x20 + 1);  // libxmp stores volume + 1
    EXPECT_EQ(m.event(0, 1, 2).note, XMP_KEY_OFF);
    EXPECT_EQ(m.event(0, 2, 7).fxt, 0x0f);
    EXPECT_EQ(m.event(0, 2, 7).fxp, 0x07);
    // Pattern b: one track, transposed and given another instrument, repeated to 16 rows.
    for (int row : {0, 8}) {
        EXPECT_EQ(m.event(1, 1, row).note, xmp_note("D-5")) << row;
        EXPECT_EQ(m.event(1, 1, row).ins, 1) << row;
        EXPECT_EQ(m.event(1, 2, row).note, xmp_note("C-4")) << row;
        EXPECT_EQ(m.event(1, 2, row).ins, 3) << row;
    }
    EXPECT_EQ(m.event(1, 1, 4).note, xmp_note("F#5"));
    EXPECT_EQ(m.event(1, 1, 4).vol, 0x30 + 1);
    EXPECT_EQ(m.event(1, 1, 4).fxt, 0x00);  // arpeggio
    EXPECT_EQ(m.event(1, 1, 4).fxp, 0xc3);
    // The same track delayed by two rows, on the echo instrument.
    EXPECT_EQ(m.event(1, 0, 0).note, 0);
    EXPECT_EQ(m.event(1, 0, 2).note, xmp_note("C-5"));
    EXPECT_EQ(m.event(1, 0, 2).ins, 4);
    EXPECT_EQ(m.event(1, 0, 6).note, xmp_note("E-5"));
}

TEST_F(SmallScore, InstrumentsAndSamplesAreLaidOutAsGiven) {
    probe::loaded_module m(module);
    ASSERT_EQ(m.status, 0);
    ASSERT_EQ(m.mod().ins, 4);  // 02 is left empty
    const xmp_instrument &lead = m.mod().xxi[0];
    EXPECT_STREQ(lead.name, "lead");
    ASSERT_EQ(lead.nsm, 1);
    EXPECT_EQ(lead.sub[0].vol, 30);
    EXPECT_EQ(lead.sub[0].pan, 64);
    EXPECT_EQ(lead.rls, 2 * 512);  // libxmp counts fadeout in half steps
    EXPECT_EQ(lead.aei.npt, 3);
    EXPECT_TRUE(lead.aei.flg & XMP_ENVELOPE_ON);
    EXPECT_TRUE(lead.aei.flg & XMP_ENVELOPE_SUS);
    EXPECT_EQ(lead.aei.data[2], 8);
    EXPECT_EQ(lead.aei.data[3], 32);
    const xmp_sample &tone = m.mod().xxs[lead.sub[0].sid];
    EXPECT_TRUE(tone.flg & XMP_SAMPLE_16BIT);
    EXPECT_TRUE(tone.flg & XMP_SAMPLE_LOOP);
    EXPECT_EQ(tone.lps, 0);
    EXPECT_EQ(tone.lpe, tone.len);

    EXPECT_EQ(m.mod().xxi[1].nsm, 0);

    // The echo copies the lead and changes only its volume.
    const xmp_instrument &echo = m.mod().xxi[3];
    ASSERT_EQ(echo.nsm, 1);
    EXPECT_EQ(echo.sub[0].vol, 20);
    EXPECT_EQ(echo.sub[0].pan, 64);
    EXPECT_EQ(echo.aei.npt, 3);
    EXPECT_EQ(m.mod().xxs[echo.sub[0].sid].len, tone.len);

    const xmp_instrument &kick = m.mod().xxi[2];
    ASSERT_EQ(kick.nsm, 1);
    const xmp_sample &hit = m.mod().xxs[kick.sub[0].sid];
    EXPECT_FALSE(hit.flg & XMP_SAMPLE_16BIT);
    EXPECT_FALSE(hit.flg & XMP_SAMPLE_LOOP);
    EXPECT_NEAR(hit.len, 0.2 * 8363 * 4, 2);  // 200 ms at the rate C-4 plays it
}

// Accepted modules play in libxmp (above) and in openmpt123, which renders
// the whole song.
TEST_F(SmallScore, OpenmptLoadsAndPlaysItToo) {
    auto r = probe::run("openmpt123 --info " + probe::quote(module));
    EXPECT_EQ(r.out.find("rror"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Channels...: 3"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Instruments: 4"), std::string::npos) << r.out;
    r = probe::run("openmpt123 --quiet --render " + probe::quote(module));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_GT(std::filesystem::file_size(module + ".wav"), 100000u);
}

TEST_F(SmallScore, SameScoreGivesTheSameBytes) {
    std::string again = dir.path("again.xm");
    auto r = xmc(dir.path("small.score"), again);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(read_all(module), read_all(again));
}

// Counts rising zero crossings of the left channel to find the pitch.
double pitch_of(const std::vector<int16_t> &s, std::size_t from, std::size_t to, int rate) {
    int crossings = 0;
    for (std::size_t i = from + 2; i < to; i += 2)
        if (s[i - 2] < 0 && s[i] >= 0)
            crossings++;
    return crossings * rate / ((to - from) / 2.0);
}

TEST(Tuning, TonesAndHitsSoundAtTheirNotes) {
    const std::string score = R"(
channels 1
instrument 01 tone "sine"
  wave sine
instrument 02 hit "beep"
  wave sine
  freq 440
  length 2000
pattern p 64
  00 A-4 01
  32 C-4 02
order p
)";
    temp_dir dir;
    const std::string module = compile(dir, "tune", score);
    ASSERT_FALSE(module.empty());
    probe::loaded_module m(module);
    ASSERT_EQ(m.status, 0);
    const int rate = 44100;
    auto s = m.render(6.0, rate);
    // 125 BPM, speed 6: a row is 0.12 s; the hit starts at 3.84 s.
    EXPECT_NEAR(pitch_of(s, 2 * rate * 1 / 2, 2 * rate * 3, rate), 440.0, 3.0);
    EXPECT_NEAR(pitch_of(s, 2 * rate * 4, 2 * rate * 5, rate), 440.0, 3.0);
}

// Two sines a few cents apart beat at the difference of their frequencies:
// at middle C, 1.21 Hz for 8 cents and 3.81 Hz for 25 cents (2 cents either
// way moves that by 0.3 Hz).
TEST(Tuning, ADetunedSecondWaveBeatsAtTheWrittenRate) {
    const std::string score = R"(
channels 1
instrument 01 tone "eight cents"
  wave sine
  wave2 sine
  mix 50
  detune 8
  cycles 64
instrument 02 tone "quarter tone"
  like 01
  detune 25
  cycle 64
pattern p 1
order p
)";
    temp_dir dir;
    const std::string module = compile(dir, "beat", score);
    ASSERT_FALSE(module.empty());
    const double written[] = {1.2118, 3.8054};
    for (int ins = 1; ins <= 2; ins++) {
        SCOPED_TRACE(ins);
        rendering sound = render_instrument(module, ins, 6.0);
        // The loudness in 10 ms blocks; a beat is a fall from above three
        // quarters of the loudest to below a quarter.
        const std::size_t block = LISTEN_RATE / 100;
        std::vector<double> loudness;
        for (std::size_t i = 0; i + 2 * block <= sound.frames.size(); i += 2 * block) {
            double sum = 0;
            for (std::size_t k = i; k < i + 2 * block; k += 2)
                sum += sound.frames[k] * sound.frames[k];
            loudness.push_back(std::sqrt(sum / block));
        }
        const double loudest = *std::max_element(loudness.begin(), loudness.end());
        std::vector<double> dips;  // seconds
        bool high = false;
        for (std::size_t i = 0; i < loudness.size(); i++) {
            if (loudness[i] > loudest * 3 / 4)
                high = true;
            if (high && loudness[i] < loudest / 4) {
                dips.push_back(i / 100.0);
                high = false;
            }
        }
        ASSERT_GE(dips.size(), 3u);
        const double rate = (dips.size() - 1) / (dips.back() - dips.front());
        EXPECT_NEAR(rate, written[ins - 1], 0.3);
    }
}

struct Malformed {
    const char *what;
    const char *score;
    int line;  // 0: a fault of the whole score, no line
    const char *message;
};

const char *HEAD = "bpm 125\nchannels 2\ninstrument 01 tone\n";  // lines 1-3

const Malformed MALFORMED[] = {
    {"bad note", "pattern p 4\n  00 H-4 01\norder p\n", 5, "bad note"},
    {"undefined instrument", "pattern p 4\n  00 C-4 05\norder p\n", 5,
     "instrument 05 is not defined"},
    {"row past the end", "pattern p 4\n  04 C-4 01\norder p\n", 5, "out of range"},
    {"rows going back", "pattern p 4\n  02 C-4 01\n  01 C-4 01\norder p\n", 6, "comes after"},
    {"too many cells", "pattern p 4\n  C-4 | C-4 | C-4\norder p\n", 5, "channels"},
    {"unknown pattern in order", "pattern p 4\norder p q\n", 5, "unknown pattern 'q'"},
    {"tracks after rows", "track t 1 01\npattern p 4\n  00 C-4 01\n  tracks t\norder p\n", 7,
     "before the rows"},
    {"unknown track", "pattern p 4\n  tracks drums\norder p\n", 5, "unknown track"},
    {"restart past the end", "pattern p 4\norder p\nrestart 3\n", 6, "restart"},
    {"unknown setting", "  wobble 3\npattern p 4\norder p\n", 4, "wobble"},
    {"volume above 40", "pattern p 4\n  C-4 01 41\norder p\n", 5, "volume"},
    {"transposed out of range", "track t 1 01\n  B-7\npattern p 4\n  tracks t+1\norder p\n", 7,
     "out of range"},
    {"unterminated name", "instrument 02 hit \"kick\norder p\n", 4, "unterminated"},
    {"bad track reference", "track t 1 01\npattern p 4\n  tracks t+1*2\norder p\n", 6,
     "not a whole number"},
    {"like names a later instrument", "  like 02\ninstrument 02 tone\npattern p 4\norder p\n", 4,
     "not defined above"},
    {"detune too fine for the longest loop",
     "  cycle 2048\n  wave2 saw\n  detune 5\npattern p 4\norder p\n", 6, "detune 5 cents"},
    {"samples past the module's limit",
     "  cycle 2048\n  cycles 1024\ninstrument 02 tone\n  like 01\ninstrument 03 tone\n  like 01\n"
     "instrument 04 tone\n  like 01\ninstrument 05 tone\n  like 01\npattern p 4\norder p\n",
     12, "limit of 8388608"},
    {"no order", "pattern p 4\n", 0, "order list is empty"},
    {"relative note outside the module's range",
     "  cycle 2048\n  relnote 48\npattern p 4\norder p\n", 3,
     "relative note of 120, outside the module's -96..95"},
    // At speed 6, 308 glides 2.5 semitones a row.
    {"glide that stops short", "pattern p 4\n  00 C-4 01\n  01 E-4 01 .. 308\norder p\n", 6,
     "the glide to E-4 stops 1.50 semitones short of it"},
    {"glide ended by a vibrato",
     "pattern p 4\n  00 C-4 01\n  01 F-4 01 .. 308\n  02 ... .. .. 441\norder p\n", 6,
     "the glide to F-4 stops 2.50 semitones short"},
    {"vibrato over the limit with the instrument's own",
     "  vibrato 4 8\npattern p 4\n  C-4 01 .. 443\norder p\n", 6,
     "the vibrato 443 swings 38 cents (6 of them the instrument's own), more than 35"},
};

// Glides that land within their rows and a vibrato under the limit.
TEST(TuningCheck, GlidesThatLandAndNarrowVibratosPass) {
    const std::string score = std::string(HEAD) + R"(
pattern p 8
  00 C-4 01
  01 D-4 01 .. 308 | C-4 01
  02 F-4 01 .. 308 | ... .. .. 443
  03 ... .. .. 300
  04 ... .. .. 443
order p
)";
    song piece;
    score_error error;
    ASSERT_TRUE(parse_score(score, piece, error)) << error.message;
    EXPECT_TRUE(check_tuning(piece).empty());
    temp_dir dir;
    EXPECT_FALSE(probe::compile(dir, "tuned", score).empty());
}

TEST(MalformedScore, FailsNamingTheFileAndLine) {
    temp_dir dir;
    for (const Malformed &c : MALFORMED) {
        SCOPED_TRACE(c.what);
        std::string score = dir.write("bad.score", std::string(HEAD) + c.score);
        std::string module = dir.path("bad.xm");
        auto r = xmc(score, module);
        EXPECT_NE(r.status, 0);
        std::string where = c.line ? score + ":" + std::to_string(c.line) + ":" : score + ":";
        EXPECT_EQ(r.out.rfind(where, 0), 0u) << r.out;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
        EXPECT_FALSE(std::filesystem::exists(module));
    }
}

TEST(MalformedScore, LineNumbersAreThoseOfTheScore) {
    song piece;
    score_error error;
    EXPECT_FALSE(parse_score(std::string(HEAD) + "\n; comment\n\npattern p 4\n  00 C-4 01 | X\n",
                             piece, error));
    EXPECT_EQ(error.line, 8);
}

TEST(CommandLine, MissingScoreOrUnwritableOutputFails) {
    temp_dir dir;
    auto r = xmc(dir.path("none.score"), dir.path("x.xm"));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("none.score"), std::string::npos) << r.out;

    std::string score = dir.write("ok.score", "channels 1\npattern p 1\norder p\n");
    r = xmc(score, dir.path("no/such/dir/x.xm"));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("cannot write"), std::string::npos) << r.out;

    r = probe::run(std::string(XMC_BINARY) + " " + probe::quote(score));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("usage"), std::string::npos) << r.out;

    r = xmc("/dev/zero", dir.path("zero.xm"));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("too long for a score"), std::string::npos) << r.out;
}

// What the compiler says of a hostile score or path: a score's control bytes
// escaped, a folder's reason given, a FIFO nobody writes read as empty
// without waiting, an empty output name refused by name.
TEST(CommandLine, MessagesStayPrintableAndSayWhy) {
    temp_dir dir;
    auto r =
        xmc(dir.write("esc.score", std::string("channels 1\n\x1b[2J\0x\n", 18)), dir.path("x.xm"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, dir.path("esc.score") +
                         ":2: error: unexpected '\\x1b[2J\\x00x' outside an instrument, track or "
                         "pattern\n");
    r = xmc(dir.path(), dir.path("x.xm"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, dir.path().string() + ": cannot read the score: Is a directory\n");
    r = probe::run("cd " + probe::quote(dir.path()) + " && " XMC_BINARY " '\x1b[31m.score' x.xm");
    EXPECT_EQ(r.out, "\\x1b[31m.score: cannot read the score: No such file or directory\n");
    ASSERT_EQ(mkfifo(dir.path("fifo.score").c_str(), 0600), 0);  // nobody writes to it
    r = probe::run("timeout 20 " XMC_BINARY " " + dir.path("fifo.score") + " " + dir.path("x.xm"));
    EXPECT_EQ(r.out, dir.path("fifo.score") + ": error: the score gives no channels\n");
    std::filesystem::remove(dir.path("fifo.score"));
    r = probe::run("cd " + probe::quote(dir.path()) + " && " XMC_BINARY " esc.score ''");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "xmc: an output needs a name; the name given is empty\n");
    std::size_t files = 0;
    for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator(dir.path()))
        files++;
    EXPECT_EQ(files, 1u);  // the score alone
}

// A failed compilation leaves the module that was there as it was, and no
// temporary file beside it (what stands at odd paths is the guard's test).
TEST(CommandLine, AFailureLeavesTheEarlierModule) {
    temp_dir dir;
    const std::string score = dir.write("ok.score", "channels 1\npattern p 1\norder p\n");
    const std::string module = dir.path("song.xm");
    ASSERT_EQ(xmc(score, module).status, 0);
    const auto size = std::filesystem::file_size(module);
    EXPECT_NE(xmc(dir.write("bad.score", "channels 1\n"), module).status, 0);
    EXPECT_NE(xmc(dir.path("typo.score"), module).status, 0);
    EXPECT_EQ(std::filesystem::file_size(module), size);
    EXPECT_NE(xmc(dir.path("bad.score"), dir.path("bad.score")).status, 0);
    EXPECT_EQ(std::filesystem::file_size(dir.path("bad.score")), 11u);
    std::size_t files = 0;
    for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator(dir.path()))
        files++;
    EXPECT_EQ(files, 3u);  // the two scores and the module
}

}  // namespace
