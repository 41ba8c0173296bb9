// The two modules the show plays, as the build made them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>

#include "blip_module.h"
#include "listen.h"
#include "module_probe.h"
#include "score.h"

namespace {

const std::string VORBEL = std::string(RUN_DIR) + "/vorbel.xm";
const std::string KNARK = std::string(RUN_DIR) + "/knark.xm";

TEST(ShowModules, LoadInLibxmpAndOpenmpt) {
    for (const std::string &file : {VORBEL, KNARK}) {
        SCOPED_TRACE(file);
        probe::loaded_module m(file);
        EXPECT_EQ(m.status, 0);
        auto r = probe::run("openmpt123 --info " + probe::quote(file));
        EXPECT_EQ(r.out.find("rror"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("Type.......: xm"), std::string::npos) << r.out;
    }
}

TEST(ShowModules, VorbelPlaysAtLeast140SecondsBeforeRepeating) {
    probe::loaded_module m(VORBEL);
    ASSERT_EQ(m.status, 0);
    EXPECT_GE(m.info.seq_data[0].duration, 140000);
    EXPECT_GE(m.mod().chn, 6);
    EXPECT_GE(m.mod().bpm, 125);
    EXPECT_LE(m.mod().bpm, 140);
}

TEST(ShowModules, VorbelIsLoudButDoesNotClip) {
    probe::loaded_module m(VORBEL);
    ASSERT_EQ(m.status, 0);
    const int rate = 32000;
    const double seconds = m.info.seq_data[0].duration / 1000.0;
    auto s = m.render(seconds, rate);
    // Its peak stays at -1 dBFS or lower: nothing comes near full scale.
    int peak = 0;
    for (int16_t v : s)
        peak = std::max(peak, std::abs(static_cast<int>(v)));
    EXPECT_LE(peak, 29205);
    // Every ten seconds carries sound; the start of the intro may be quieter.
    for (std::size_t start = 0; start + 10 * rate * 2 <= s.size(); start += 10 * rate * 2) {
        double level = probe::rms(s, start, start + 10 * rate * 2);
        EXPECT_GT(level, 0.03) << "at " << start / (2 * rate) << " s";
        EXPECT_LT(level, 0.5) << "at " << start / (2 * rate) << " s";
    }
}

// The show starts and stops knark once per card, some tens of milliseconds
// off the half second, so each stab keeps clear of both ends of its own.
TEST(ShowModules, KnarkStabsSoundInTheMiddleOfTheirHalfSeconds) {
    probe::loaded_module m(KNARK);
    ASSERT_EQ(m.status, 0);
    const int rate = 32000;
    auto s = m.render(2.5, rate);
    for (int stab = 0; stab < 5; stab++) {
        SCOPED_TRACE(stab);
        std::size_t start =
            static_cast<std::size_t>(stab) * rate;  // half a second of stereo frames
        // Silent over its first 50 ms and its last 90 ms, sounding from 100 to 350 ms.
        EXPECT_LT(probe::rms(s, start, start + rate / 10), 0.001);
        EXPECT_GT(probe::rms(s, start + rate / 5, start + rate * 7 / 10), 0.05);
        EXPECT_LT(probe::rms(s, start + rate * 82 / 100, start + rate), 0.001);
    }
}

// The opening times its cards by knark's tempo and where its chords sound:
// the module keeps them. (Five stabs: chords in the first channel.)
TEST(ShowModules, KnarkKeepsTheTimesTheOpeningTakesFromIt) {
    probe::loaded_module m(KNARK);
    ASSERT_EQ(m.status, 0);
    EXPECT_EQ(m.mod().bpm, KNARK_BPM);
    EXPECT_EQ(m.mod().spd, KNARK_SPEED);
    EXPECT_EQ(KNARK_ROW_US, 62500);
    EXPECT_EQ(KNARK_CHORD_US, 62500);
    const int pattern = m.mod().xxo[0];
    for (int row = 0; row < 5 * KNARK_STAB_ROWS; row++) {
        const bool chord = row % KNARK_STAB_ROWS == KNARK_CHORD_ROW;
        EXPECT_EQ(m.event(pattern, 0, row).note != 0, chord) << "row " << row;
    }
}

// A tone plays middle C at C-4; a hit with an oscillator ends its sweep on
// its written frequency. Relative note and finetune move both. Hits that are
// mostly noise have no pitch to check.
TEST(ShowModules, EveryInstrumentSoundsAtItsWrittenPitch) {
    for (const std::string name : {"vorbel", "knark"}) {
        std::ifstream in(std::string(MUSIC_DIR) + "/" + name + ".score");
        song score;
        score_error error;
        ASSERT_TRUE(parse_score({std::istreambuf_iterator<char>(in), {}}, score, error))
            << error.message;
        const std::string module = std::string(RUN_DIR) + "/" + name + ".xm";
        for (const instrument &ins : score.instruments) {
            if (ins.hit && (ins.wave == wave_kind::noise || ins.noise >= 50))
                continue;
            SCOPED_TRACE(name + " " + ins.name);
            double written = (ins.hit ? ins.freq_end : 261.6256) *
                             std::pow(2.0, (ins.relnote + ins.finetune / 128.0) / 12);
            double heard = pitch_at_c4(module, ins.number).hz;
            ASSERT_GT(heard, 0);
            EXPECT_NEAR(1200 * std::log2(heard / written), 0, 5);
        }
    }
}

// The part of each sample that plays on (the loop of a tone, all of a hit)
// is centred on zero: no offset to click when a note starts or stops.
TEST(ShowModules, NoSampleCarriesAnOffset) {
    for (const std::string &file : {VORBEL, KNARK}) {
        probe::loaded_module m(file);
        ASSERT_EQ(m.status, 0);
        for (int i = 0; i < m.mod().smp; i++) {
            const xmp_sample &s = m.mod().xxs[i];
            SCOPED_TRACE(file + " sample " + std::to_string(i));
            const bool loop = s.flg & XMP_SAMPLE_LOOP;
            const int from = loop ? s.lps : 0, to = loop ? s.lpe : s.len;
            ASSERT_GT(to, from);
            double sum = 0;
            for (int k = from; k < to; k++)
                sum += (s.flg & XMP_SAMPLE_16BIT)
                           ? reinterpret_cast<const int16_t *>(s.data)[k] / 32768.0
                           : reinterpret_cast<const int8_t *>(s.data)[k] / 128.0;
            EXPECT_LT(std::fabs(sum / (to - from)), 0.002);
        }
    }
}

}  // namespace
