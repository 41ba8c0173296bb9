// The measures the music report and the module tests listen with, on
// signals whose answers are known, and the report's figures on a small module.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "listen.h"
#include "module_probe.h"

namespace {

constexpr double TAU = 2 * std::numbers::pi;

// `seconds` of a sine at `hz` and amplitude `left` / `right`, interleaved.
std::vector<float> sine(double hz, double seconds, float left, float right) {
    std::vector<float> out;
    for (int i = 0; i < static_cast<int>(seconds * LISTEN_RATE); i++) {
        const float v = static_cast<float>(std::sin(TAU * hz * i / LISTEN_RATE));
        out.insert(out.end(), {left * v, right * v});
    }
    return out;
}

TEST(Listen, FftPutsAPureToneInItsBin) {
    std::vector<std::complex<double>> a(64);
    for (std::size_t i = 0; i < a.size(); i++)
        a[i] = std::cos(TAU * 10 * static_cast<double>(i) / 64);
    fft(a);
    for (std::size_t k = 0; k < a.size(); k++)
        EXPECT_NEAR(std::abs(a[k]), k == 10 || k == 54 ? 32.0 : 0.0, 1e-9) << k;
}

TEST(Listen, BandSharesOfWhiteNoiseFollowTheBandwidths) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    std::vector<float> frames(2 * 10 * LISTEN_RATE);
    for (float &f : frames)
        f = noise(random);
    const std::vector<double> shares = band_shares(frames, HIT_BANDS);
    ASSERT_EQ(shares.size(), 7u);
    // 60-150 Hz is 90 of 22050 Hz, 2-5 kHz 3000, above 5 kHz 17050.
    EXPECT_NEAR(shares[1], 0.0041, 0.001);
    EXPECT_NEAR(shares[5], 0.136, 0.005);
    EXPECT_NEAR(shares[6], 0.773, 0.005);
}

TEST(Listen, PitchReaderHearsAKnownDetune) {
    const pitch_reading p = read_pitch(sine(440 * std::pow(2.0, 17 / 1200.0), 1, 0.5f, 0.5f), 0, 1);
    std::string name;
    EXPECT_NEAR(cents_off_note(p.hz, &name), 17, 0.5);
    EXPECT_EQ(name, "A-4");
    EXPECT_EQ(p.twin_cents, 0);
}

// A 997 Hz sine at full scale in both channels reads 0 LUFS; a tenth of it
// -20; in one channel alone 3 LU less.
TEST(Listen, LoudnessOfASineByTheBroadcastScale) {
    const std::vector<double> both = loudness_lufs(sine(997, 15, 0.1f, 0.1f));
    ASSERT_EQ(both.size(), 2u);
    EXPECT_NEAR(both[0], -20.0, 0.1);
    EXPECT_NEAR(both[1], -20.0, 0.1);
    const std::vector<double> left = loudness_lufs(sine(997, 7.5, 1.0f, 0.0f));
    ASSERT_EQ(left.size(), 1u);
    EXPECT_NEAR(left[0], -3.0, 0.1);
    EXPECT_EQ(loudness_lufs(std::vector<float>(2 * 8 * LISTEN_RATE))[0], -HUGE_VAL);
}

}  // namespace
