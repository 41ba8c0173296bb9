// The two modules the show plays, as the build made them.
#include <gtest/gtest.h>

#include "module_probe.hpp"

namespace {

const std::string kVorbel = std::string(RUN_DIR) + "/vorbel.xm";
const std::string kKnark = std::string(RUN_DIR) + "/knark.xm";

TEST(ShowModules, LoadInLibxmpAndOpenmpt) {
    for (const std::string& file : {kVorbel, kKnark}) {
        SCOPED_TRACE(file);
        probe::Loaded m(file);
        EXPECT_EQ(m.status(), 0);
        auto r = probe::run("openmpt123 --info " + probe::quote(file));
        EXPECT_EQ(r.output.find("rror"), std::string::npos) << r.output;
        EXPECT_NE(r.output.find("Type.......: xm"), std::string::npos) << r.output;
    }
}

TEST(ShowModules, VorbelPlaysAtLeast140SecondsBeforeRepeating) {
    probe::Loaded m(kVorbel);
    ASSERT_EQ(m.status(), 0);
    EXPECT_GE(m.info().seq_data[0].duration, 140000);
    EXPECT_GE(m.mod().chn, 6);
    EXPECT_GE(m.mod().bpm, 125);
    EXPECT_LE(m.mod().bpm, 140);
}

TEST(ShowModules, VorbelIsLoudButDoesNotClip) {
    probe::Loaded m(kVorbel);
    ASSERT_EQ(m.status(), 0);
    const int rate = 32000;
    const double seconds = m.info().seq_data[0].duration / 1000.0;
    auto s = m.render(seconds, rate);
    size_t clipped = 0;
    for (int16_t v : s) clipped += (v >= 32767 || v <= -32768);
    EXPECT_LT(clipped, s.size() / 100000) << "samples at full scale";
    // Every ten seconds carries sound; the start of the intro may be quieter.
    for (size_t start = 0; start + 10 * rate * 2 <= s.size(); start += 10 * rate * 2) {
        double level = probe::rms(s, start, start + 10 * rate * 2);
        EXPECT_GT(level, 0.03) << "at " << start / (2 * rate) << " s";
        EXPECT_LT(level, 0.5) << "at " << start / (2 * rate) << " s";
    }
}

TEST(ShowModules, KnarkIsAudibleInEachOfItsFiveHalfSeconds) {
    probe::Loaded m(kKnark);
    ASSERT_EQ(m.status(), 0);
    const int rate = 32000;
    auto s = m.render(2.5, rate);
    for (int stab = 0; stab < 5; ++stab) {
        SCOPED_TRACE(stab);
        size_t start = static_cast<size_t>(stab) * rate;  // half a second of stereo frames
        // Sound from the first 50 ms on, and through the whole half second.
        EXPECT_GT(probe::rms(s, start, start + rate / 10), 0.05);
        EXPECT_GT(probe::rms(s, start, start + rate), 0.05);
        EXPECT_GT(probe::rms(s, start + rate * 8 / 10, start + rate), 0.02);
    }
}

}  // namespace
