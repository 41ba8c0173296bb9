// Tests of the sound library: the mixer called directly, and the whole path
// to a device through SDL's disk audio driver, which writes the raw mix to a
// file in real time.

#include "sound.h"
#include "sound_mix.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int RATE = 32000;
constexpr int BUFFER_FRAMES = 1024;  // the unit the tests render in: 32 ms
constexpr int RAMP = 64;             // every start, stop and resume: 2 ms
constexpr int QUIET = 184;           // -45 dBFS

// Scratch space for files the tests make: broken modules, the disk output.
const fs::path &scratch() {
    static const temp_dir dir;
    return dir.path();
}

// Test modules, compiled from their scores at build time: "low.xm" holds
// middle C, "high.xm" the C two octaves up, "scale.xm" rises a note every
// 1/16 s. All are sines; one alone peaks near a quarter of full scale.
// "stab.xm" sounds from 62.5 ms to about 350 ms of every half second.
std::string module(const char *name) { return fs::path(SOUND_TEST_MODULE_DIR) / name; }

constexpr double LOW_C = 261.63, HIGH_C = 1046.5;

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::vector<int16_t> mix(int frames) {
    std::vector<int16_t> out(2 * frames);
    sound_mix(out.data(), frames);
    return out;
}

bool silent(const int16_t *s, size_t n) {
    for (size_t i = 0; i < n; i++)
        if (s[i])
            return false;
    return true;
}

bool silent(const std::vector<int16_t> &s) { return silent(s.data(), s.size()); }

int peak(const std::vector<int16_t> &s) {
    int p = 0;
    for (int16_t v : s)
        p = std::max(p, std::abs(int(v)));
    return p;
}

std::vector<int16_t> part(const std::vector<int16_t> &s, int from, int frames) {
    return std::vector<int16_t>(s.begin() + 2 * from, s.begin() + 2 * (from + frames));
}

// Strength of one frequency in the left channel, relative to full scale.
double tone_level(const int16_t *s, int frames, double freq) {
    double re = 0, im = 0;
    for (int i = 0; i < frames; i++) {
        double ph = 2 * std::numbers::pi * freq * i / RATE;
        re += s[2 * i] * std::cos(ph);
        im += s[2 * i] * std::sin(ph);
    }
    return 2 * std::hypot(re, im) / frames / 32768.0;
}

// Every module a test loaded is released at its end, so that the next test
// starts from an empty mixer.
class Sound : public ::testing::Test {
protected:
    std::vector<FMUSIC_MODULE *> loaded;

    FMUSIC_MODULE *load(const char *name) {
        FMUSIC_MODULE *m = FMUSIC_LoadSong(module(name).c_str());
        if (m)
            loaded.push_back(m);
        return m;
    }
    void release(FMUSIC_MODULE *m) {
        std::erase(loaded, m);
        FMUSIC_FreeSong(m);
    }
    void TearDown() override {
        FSOUND_Close();
        for (FMUSIC_MODULE *m : loaded)
            FMUSIC_FreeSong(m);
        sound_set_mix_rate(RATE);
    }
};

using SoundMixer = Sound;

TEST_F(SoundMixer, StopFadesOutAndPlayResumesWhereTheFadeEnded) {
    // Two copies of one module: `a` is interrupted, `b` plays straight through,
    // one at a time so the mix shows each alone. Rendering is deterministic.
    FMUSIC_MODULE *a = load("scale.xm");
    FMUSIC_MODULE *b = load("scale.xm");
    ASSERT_TRUE(a && b);
    const int before = 20 * BUFFER_FRAMES;  // a few rows into the scale
    EXPECT_TRUE(silent(mix(BUFFER_FRAMES))) << "a loaded module waits for PlaySong";

    FMUSIC_PlaySong(a);
    std::vector<int16_t> a_start = mix(before);
    FMUSIC_StopSong(a);
    std::vector<int16_t> a_stop = mix(3 * BUFFER_FRAMES);
    FMUSIC_PlaySong(a);
    std::vector<int16_t> a_resumed = mix(BUFFER_FRAMES);
    FMUSIC_StopSong(a);
    mix(RAMP);

    FMUSIC_PlaySong(b);
    std::vector<int16_t> b_start = mix(before + RAMP);
    std::vector<int16_t> b_next = mix(BUFFER_FRAMES);

    EXPECT_GT(peak(a_start), 1000);
    EXPECT_EQ(a_start, part(b_start, 0, before));
    EXPECT_GT(peak(part(a_stop, 0, RAMP / 2)), 1000) << "a stop fades, it does not cut";
    EXPECT_TRUE(silent(part(a_stop, RAMP, 2 * BUFFER_FRAMES)));
    EXPECT_EQ(part(a_resumed, RAMP, BUFFER_FRAMES - RAMP), part(b_next, RAMP, BUFFER_FRAMES - RAMP))
        << "past its fade-in, resumed output is the uninterrupted continuation";
}

TEST_F(SoundMixer, MasterVolumeScalesAndNegativeIsSilence) {
    FMUSIC_MODULE *a = load("scale.xm");
    FMUSIC_MODULE *b = load("scale.xm");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(FMUSIC_GetMasterVolume(a), 256);

    // Set before playing, a volume applies from the first sample.
    ASSERT_TRUE(FMUSIC_SetMasterVolume(b, 128));
    EXPECT_EQ(FMUSIC_GetMasterVolume(b), 128);
    FMUSIC_PlaySong(a);
    std::vector<int16_t> full = mix(4 * BUFFER_FRAMES);
    FMUSIC_StopSong(a);
    mix(RAMP);
    FMUSIC_PlaySong(b);
    std::vector<int16_t> half = mix(4 * BUFFER_FRAMES);
    ASSERT_EQ(full.size(), half.size());
    for (size_t i = 0; i < full.size(); i++)
        ASSERT_EQ(half[i], (full[i] * 128) >> 8) << "sample " << i;

    // Changed while playing: settles within one buffer; below zero is silence.
    FMUSIC_SetMasterVolume(b, -4);
    EXPECT_EQ(FMUSIC_GetMasterVolume(b), -4);
    mix(BUFFER_FRAMES);
    EXPECT_TRUE(silent(mix(4 * BUFFER_FRAMES)));
    FMUSIC_SetMasterVolume(b, 0);
    EXPECT_TRUE(silent(mix(BUFFER_FRAMES)));
    FMUSIC_SetMasterVolume(b, 256);
    mix(BUFFER_FRAMES);
    EXPECT_GT(peak(mix(BUFFER_FRAMES)), 1000);
}

TEST_F(SoundMixer, SumSaturatesInsteadOfWrapping) {
    // Copies of one held note: five of them pass full scale, and the sum clips
    // there instead of wrapping round to the opposite sign.
    FMUSIC_MODULE *loud[6];
    for (auto &m : loud)
        ASSERT_NE(m = load("low.xm"), nullptr);
    FMUSIC_PlaySong(loud[0]);
    std::vector<int16_t> one = mix(2 * BUFFER_FRAMES);
    FMUSIC_StopSong(loud[0]);
    mix(RAMP);
    for (int i = 1; i < 6; i++)
        FMUSIC_PlaySong(loud[i]);
    std::vector<int16_t> five = mix(2 * BUFFER_FRAMES);
    bool clipped = false;
    for (size_t i = 0; i < one.size(); i++) {
        int want = std::clamp(5 * int(one[i]), -32768, 32767);
        clipped |= want != 5 * int(one[i]);
        ASSERT_EQ(five[i], want) << "sample " << i;
    }
    EXPECT_TRUE(clipped) << "five copies of the module should pass full scale";
}

// The opening's five cards: each start call is followed by half a second of
// frames, then the stop call; every call applies from the next frame mixed, as
// a scheduled call applies at its own frame. Returns each card's sound from
// its start, with 100 ms after its stop.
std::vector<std::vector<int16_t>> play_cards(const char *name, int half) {
    FMUSIC_MODULE *m = FMUSIC_LoadSong(module(name).c_str());
    std::vector<std::vector<int16_t>> cards(5);
    for (auto &card : cards) {
        FMUSIC_PlaySong(m);
        card = mix(half);
        FMUSIC_StopSong(m);
        std::vector<int16_t> off = mix(half / 5);
        card.insert(card.end(), off.begin(), off.end());
    }
    FMUSIC_FreeSong(m);
    return cards;
}

// The first sample that is not zero, as a level (0 if there is none).
int first_sound(auto from, auto to) {
    auto i = std::find_if(from, to, [](int16_t v) { return v; });
    return i == to ? 0 : std::abs(*i);
}

TEST_F(SoundMixer, OpeningCardsStartAndEndQuietWithOneStabEach) {
    for (int rate : {32000, 44100, 48000}) {
        ASSERT_TRUE(sound_set_mix_rate(rate));
        const int ms = rate / 1000, half = rate / 2;
        auto stabs = play_cards("stab.xm", half), held = play_cards("low.xm", half);
        for (int k = 0; k < 5; k++) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, card " << k);
            const std::vector<int16_t> &s = stabs[k], &h = held[k];
            int onsets = 0;  // rising past -30 dBFS after under -45, by the millisecond
            for (int w = 0, on = 0; w + ms <= int(s.size() / 2); w += ms) {
                int p = peak(part(s, w, ms));
                onsets += !on && p > 1036;
                on = p > 1036 || (on && p >= QUIET);
            }
            EXPECT_EQ(onsets, 1);
            EXPECT_LT(peak(part(s, 0, ms)), QUIET) << "first millisecond";
            EXPECT_LT(first_sound(s.rbegin(), s.rend()), QUIET) << "last sample";
            // A note that sounds throughout still starts and ends quiet.
            EXPECT_LT(first_sound(h.begin(), h.end()), QUIET);
            EXPECT_LT(first_sound(h.rbegin(), h.rend()), QUIET);
            EXPECT_GT(peak(part(h, 10 * ms, 4 * ms)), 7000) << "full within 10 ms of the start";
            EXPECT_TRUE(silent(&h[2 * (half + 10 * ms)], 2 * 10 * ms))
                << "silent 10 ms after the stop";
        }
    }
}

// First and last frame of each stretch of sound, stretches being apart by
// at least a ramp of exact silence.
std::vector<std::pair<long, long>> stretches(const std::vector<int16_t> &s) {
    std::vector<std::pair<long, long>> out;
    long quiet = RAMP;
    for (long f = 0; f < long(s.size() / 2); f++) {
        if (!s[2 * f] && !s[2 * f + 1]) {
            quiet++;
            continue;
        }
        if (quiet >= RAMP)
            out.push_back({f, f});
        out.back().second = f;
        quiet = 0;
    }
    return out;
}

TEST_F(SoundMixer, CallsApplyOneDelayAfterTheirTimeWhereverTheCallbacksFall) {
    // Starts and stops of a held note some milliseconds apart, each call's
    // time bracketed; then a device calling back every buffer, on time or
    // late by up to most of a buffer, mixes them from the first call's time.
    FMUSIC_MODULE *m = load("low.xm");
    ASSERT_NE(m, nullptr);
    constexpr int64_t NS = 1000000000;
    const int64_t DELAY = sound_call_delay_ms() * (NS / 1000);
    const int b = sound_buffer_frames(RATE, 32);
    EXPECT_EQ(b, 1024);
    EXPECT_EQ(DELAY, 40 * (NS / 1000));
    const int64_t t0 = sound_now_ns();
    std::vector<std::pair<int64_t, int64_t>> calls;
    for (int i = 0; i < 10; i++) {
        sleep_ms(4 + 5 * i % 11);
        int64_t before = sound_now_ns();
        (i % 2 ? FMUSIC_StopSong : FMUSIC_PlaySong)(m);
        calls.push_back({before, sound_now_ns()});
    }
    std::vector<int16_t> out;
    for (int k = 0; t0 + int64_t(k) * b * NS / RATE < calls.back().second + DELAY + NS / 10; k++) {
        long late = k ? 7919L * k % (b - 64) : 0;
        std::vector<int16_t> buf(2 * b);
        sound_mix_at(buf.data(), b, t0 + (int64_t(k) * b + late) * NS / RATE);
        out.insert(out.end(), buf.begin(), buf.end());
    }

    // Frame f stands for the time t0 + f / RATE. The ramps begin and end with
    // a few frames that round to silence.
    auto frame = [&](int64_t t) { return long((t + DELAY - t0) * RATE / NS); };
    auto heard = stretches(out);
    ASSERT_EQ(heard.size(), 5u);
    for (int i = 0; i < 5; i++) {
        SCOPED_TRACE(testing::Message() << "start and stop " << i);
        const auto &start = calls[2 * i], &stop = calls[2 * i + 1];
        EXPECT_GE(heard[i].first, frame(start.first));
        EXPECT_LE(heard[i].first, frame(start.second) + 6);
        EXPECT_GE(heard[i].second, frame(stop.first) + RAMP - 6);
        EXPECT_LE(heard[i].second, frame(stop.second) + RAMP);
    }
}

// Each load that fails says why. A FIFO or device is refused without waiting
// on it, a file too large without reading it, a packed module without
// unpacking it anywhere, a module cut short of what its headers hold
// (which the player would play with silence for the rest) or with no
// channels (on which the player never finishes a frame) is refused.
TEST(SoundLoading, FilesThatAreNoModuleGiveNullAndSayWhy) {
    fs::path dir = scratch();
    fs::path good = module("scale.xm");
    std::ifstream in(good, std::ios::binary);
    const std::string whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto file = [&dir](const char *name, const std::string &bytes) {
        std::ofstream(dir / name, std::ios::binary) << bytes;
        return dir / name;
    };
    fs::path unreadable = dir / "unreadable.xm";
    fs::copy_file(good, unreadable, fs::copy_options::overwrite_existing);
    fs::permissions(unreadable, fs::perms::none);
    fs::path fifo = dir / "fifo.xm", huge = dir / "huge.xm", packed = dir / "packed.xm.gz";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    file("huge.xm", "");
    fs::resize_file(huge, (64 << 20) + 1);  // sparse: nothing is read of it
    ASSERT_EQ(std::system(("gzip -c " + good.string() + " >" + packed.string()).c_str()), 0);
    const fs::path tmp = dir / "tmp";
    fs::create_directories(tmp);
    setenv("TMPDIR", tmp.c_str(), 1);

    const std::string size = std::to_string(whole.size());
    for (const auto &[path, why] : std::initializer_list<std::pair<fs::path, std::string>>{
             {dir / "missing.xm", "No such file or directory"},
             {file("empty.xm", ""), "is empty"},
             {file("garbage.xm", std::string(3000, 'x')),
              "not a module in a format the sound library knows"},
             {file("cut.xm", whole.substr(0, 200)),
              "is cut short inside its headers, at 200 bytes"},
             {file("tenth.xm", whole.substr(0, whole.size() / 10)),
              "is cut short inside its headers, at " + std::to_string(whole.size() / 10) +
                  " bytes"},
             {file("short.xm", whole.substr(0, whole.size() - 1)),
              "is cut short: its headers tell of " + size + " bytes, the file has " +
                  std::to_string(whole.size() - 1)},
             {file("silent.xm", whole.substr(0, 68) + std::string(2, '\0') + whole.substr(70)),
              "tells of 0 channels; a module has 1 to 64"},
             {dir, "is a folder, not a module file"},
             {fifo, "is a FIFO, not a module file"},
             {"/dev/zero", "is a device, not a module file"},
             {huge, "is 67108865 bytes, larger than any module the show plays (64 MB at most)"},
             {packed, "is packed with gzip; the show plays a module only as it is, unpacked"}}) {
        EXPECT_EQ(FMUSIC_LoadSong(path.c_str()), nullptr) << path;
        EXPECT_EQ(std::string(sound_last_error()), why) << path;
    }
    unsetenv("TMPDIR");
    EXPECT_TRUE(fs::is_empty(tmp));  // nothing unpacked
    EXPECT_EQ(FMUSIC_LoadSong(nullptr), nullptr);
    if (geteuid() != 0) {  // root reads it all the same
        EXPECT_EQ(FMUSIC_LoadSong(unreadable.c_str()), nullptr);
    }
    // The whole module, and one with bytes after what its headers hold, load.
    for (const fs::path &ok : {good, file("longer.xm", whole + "tail")}) {
        FMUSIC_MODULE *m = FMUSIC_LoadSong(ok.c_str());
        EXPECT_NE(m, nullptr) << ok << ": " << sound_last_error();
        FMUSIC_FreeSong(m);
    }
}

TEST(SoundHandles, NullAndReleasedHandlesAreRefused) {
    EXPECT_GE(FSOUND_GetVersion(), 3.75f);
    EXPECT_EQ(FMUSIC_PlaySong(nullptr), 0);
    EXPECT_EQ(FMUSIC_StopSong(nullptr), 0);
    EXPECT_EQ(FMUSIC_SetMasterVolume(nullptr, 10), 0);
    EXPECT_EQ(FMUSIC_GetMasterVolume(nullptr), -1);
    EXPECT_EQ(FMUSIC_FreeSong(nullptr), 0);

    FMUSIC_MODULE *m = FMUSIC_LoadSong(module("low.xm").c_str());
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(FMUSIC_FreeSong(m), 1);
    EXPECT_EQ(FMUSIC_FreeSong(m), 0) << "a second release is refused, not a double free";
    EXPECT_EQ(FMUSIC_PlaySong(m), 0);
}

// Through a real device: SDL's disk driver writes the mix to a file.
class SoundDisk : public Sound {
protected:
    std::string out_file;

    void SetUp() override {
        out_file = scratch() / ("out-" + std::to_string(getpid()) + ".raw");
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", out_file.c_str(), 1);
    }
    void TearDown() override {
        Sound::TearDown();
        unsetenv("SDL_AUDIODRIVER");
        unsetenv("SDL_DISKAUDIOFILE");
        fs::remove(out_file);
    }
    // Closes the device and reads what it was sent.
    std::vector<int16_t> recorded() {
        FSOUND_Close();
        std::ifstream in(out_file, std::ios::binary);
        std::vector<char> raw((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
        std::vector<int16_t> s(raw.size() / 2);
        std::memcpy(s.data(), raw.data(), 2 * s.size());
        return s;
    }
};

// Reads everything written to standard error while `f` runs.
template <class F>
std::string stderr_of(F f) {
    std::string path = scratch() / "stderr.txt";
    std::fflush(stderr);
    int saved = dup(2);
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 2);
    close(fd);
    f();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST_F(SoundDisk, OpensQuietlyAndLeavesStandardErrorWorking) {
    std::string err = stderr_of([] {
        EXPECT_NE(FSOUND_Init(32000, 64, 0), 0);
        std::fputs("after\n", stderr);
    });
    EXPECT_EQ(err, "after\n") << "the disk driver's own warnings must not get through";
}

TEST_F(SoundDisk, ResumedModuleContinuesWhereItStopped) {
    FMUSIC_MODULE *m = load("scale.xm");
    ASSERT_NE(FSOUND_Init(32000, 64, 0), 0);
    FMUSIC_PlaySong(m);
    sleep_ms(300);
    FMUSIC_StopSong(m);
    sleep_ms(200);
    FMUSIC_PlaySong(m);
    sleep_ms(300);
    std::vector<int16_t> s = recorded();
    release(m);

    // Sound, silence from the stop, sound again. Past its fade-in the second
    // part goes on from where the first part's fade-out left the module: its
    // length, give or take the near-silent edges of the fades.
    auto on = std::find_if(s.begin(), s.end(), [](int16_t v) { return v != 0; });
    auto gap = std::search_n(on, s.end(), 2 * 4 * BUFFER_FRAMES, 0);
    auto back = std::find_if(gap, s.end(), [](int16_t v) { return v != 0; });
    const int played = int(gap - on) / 2, resumed = int(back - s.begin()) / 2;
    ASSERT_GT(int(s.size() / 2), resumed + 2 * BUFFER_FRAMES) << "the stop left a silent stretch";

    FMUSIC_MODULE *ref = load("scale.xm");
    FMUSIC_PlaySong(ref);
    std::vector<int16_t> straight = mix(played + 2 * BUFFER_FRAMES),
                         heard = part(s, resumed + 2 * RAMP, BUFFER_FRAMES);
    int matches = 0;
    for (int at = played - 16; at <= played + 16; at++)
        matches += heard == part(straight, at + 2 * RAMP, BUFFER_FRAMES);
    EXPECT_EQ(matches, 1) << "heard " << played << " frames before the stop";
}

TEST_F(SoundDisk, TwoModulesPlayTogether) {
    FMUSIC_MODULE *low = load("low.xm");
    FMUSIC_MODULE *high = load("high.xm");
    ASSERT_NE(FSOUND_Init(32000, 64, 0), 0);
    FMUSIC_PlaySong(low);
    FMUSIC_PlaySong(high);
    sleep_ms(300);
    std::vector<int16_t> s = recorded();
    ASSERT_GT(s.size(), 2u * 6 * BUFFER_FRAMES);
    const int16_t *tail = s.data() + s.size() - 2 * 4 * BUFFER_FRAMES;
    EXPECT_GT(tone_level(tail, 4 * BUFFER_FRAMES, LOW_C), 0.05);
    EXPECT_GT(tone_level(tail, 4 * BUFFER_FRAMES, 4 * LOW_C), 0.05);
    EXPECT_LT(tone_level(tail, 4 * BUFFER_FRAMES, 600), 0.01);
}

TEST_F(SoundDisk, FadeBelowZeroEndsInSilence) {
    FMUSIC_MODULE *quiet = load("low.xm");
    FMUSIC_MODULE *m = load("scale.xm");
    ASSERT_NE(FSOUND_Init(32000, 64, 0), 0);
    FMUSIC_SetMasterVolume(quiet, -1);
    FMUSIC_PlaySong(quiet);
    FMUSIC_PlaySong(m);
    sleep_ms(150);
    // The show's fade-out, ten times faster.
    for (int v = FMUSIC_GetMasterVolume(m); v >= 0;) {
        v -= 10;
        FMUSIC_SetMasterVolume(m, v);
        sleep_ms(10);
    }
    sleep_ms(250);
    std::vector<int16_t> s = recorded();
    ASSERT_GT(s.size(), 2u * 12 * BUFFER_FRAMES);
    std::vector<int16_t> tail(s.end() - 2 * 5 * BUFFER_FRAMES, s.end());
    EXPECT_TRUE(silent(tail));
    EXPECT_GT(peak(s), 1000);
}

TEST_F(SoundDisk, CallsFromSeveralThreadsWhilePlaying) {
    FMUSIC_MODULE *low = load("low.xm");
    ASSERT_NE(FSOUND_Init(32000, 64, 0), 0);
    FMUSIC_PlaySong(low);
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(250);
    std::thread other([&] {
        int rounds = 0;
        while (std::chrono::steady_clock::now() < until) {
            FMUSIC_MODULE *m = FMUSIC_LoadSong(module("scale.xm").c_str());
            ASSERT_NE(m, nullptr);
            FMUSIC_PlaySong(m);
            FMUSIC_SetMasterVolume(m, 200 - rounds % 300);
            sleep_ms(5);
            FMUSIC_StopSong(m);
            EXPECT_EQ(FMUSIC_FreeSong(m), 1);
            rounds++;
        }
    });
    for (int v = 0; std::chrono::steady_clock::now() < until; v = (v + 37) % 300)
        FMUSIC_SetMasterVolume(low, v);
    other.join();
    FMUSIC_SetMasterVolume(low, 256);
    sleep_ms(200);
    std::vector<int16_t> s = recorded();
    ASSERT_GT(s.size(), 2u * 8 * BUFFER_FRAMES);
    const int16_t *tail = s.data() + s.size() - 2 * 4 * BUFFER_FRAMES;
    EXPECT_GT(tone_level(tail, 4 * BUFFER_FRAMES, LOW_C), 0.1);
    EXPECT_LT(tone_level(tail, 4 * BUFFER_FRAMES, 440), 0.01) << "the scale was released";
}

// The scheduling policy of this process's audio threads (the ones SDL names
// after the device), without the reset-on-fork flag that asking RealtimeKit
// leaves, or -1 when there is none.
int audio_thread_policy() {
    int policy = -1;
    DIR *dir = opendir("/proc/self/task");
    while (dirent *e = dir ? readdir(dir) : nullptr) {
        std::string comm;
        std::getline(std::ifstream(std::string("/proc/self/task/") + e->d_name + "/comm"), comm);
        if (comm.rfind("SDLAudio", 0) == 0)
            policy = sched_getscheduler(std::atoi(e->d_name)) & ~SCHED_RESET_ON_FORK;
    }
    if (dir)
        closedir(dir);
    return policy;
}

// Whether a new thread of this process may take real time of its own.
bool real_time_granted() {
    bool granted = false;
    std::thread([&] {
        sched_param p{};
        p.sched_priority = sched_get_priority_min(SCHED_RR);
        granted = pthread_setschedparam(pthread_self(), SCHED_RR, &p) == 0;
    }).join();
    return granted;
}

TEST_F(SoundDisk, AudioThreadTakesRealTimeWhereGrantedAndPlaysEitherWay) {
    FMUSIC_MODULE *low = load("low.xm");
    ASSERT_NE(FSOUND_Init(32000, 64, 0), 0);
    FMUSIC_PlaySong(low);
    sleep_ms(300);
    int policy = audio_thread_policy();
    std::vector<int16_t> s = recorded();
    if (real_time_granted())
        EXPECT_EQ(policy, SCHED_RR) << "granted real time, the audio thread must take it";
    else
        EXPECT_EQ(policy, SCHED_OTHER) << "refused real time, the audio thread stays as it was";
    ASSERT_GT(s.size(), 2u * 4 * BUFFER_FRAMES);
    EXPECT_GT(tone_level(s.data() + s.size() - 2 * 4 * BUFFER_FRAMES, 4 * BUFFER_FRAMES, LOW_C),
              0.1)
        << "it plays either way";
}

TEST(SoundDevice, UnknownDriverGivesZeroQuietly) {
    setenv("SDL_AUDIODRIVER", "bogus", 1);
    std::string err = stderr_of([] { EXPECT_EQ(FSOUND_Init(32000, 64, 0), 0); });
    unsetenv("SDL_AUDIODRIVER");
    EXPECT_EQ(err, "");
    FSOUND_Close();  // harmless without a device
}

}  // namespace
