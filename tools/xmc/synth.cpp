// Turns an instrument description into sample data.
//
// Tones are single loops: whole periods of the first wave and of the second,
// so the loop joins without a click. A tone with an attack starts with a
// copy of the loop's tail faded in from silence, so its notes start without
// a tick (the attack is timed as played at C-4). A detune between the two waves is a
// difference in their period counts, so the loop is made as long as it must
// be for that difference to sound as written within 2 cents; the two waves
// then beat at the written rate. The relative note and finetune are set so
// that C-4 sounds at middle C (261.63 Hz).
//
// Hits are rendered in time at 33452 Hz (four times the XM base rate, so C-4
// plays them back unchanged): an oscillator with an exponential pitch sweep,
// white noise with its own decay, an attack ramp and an exponential decay,
// then filters and soft saturation. The noise comes from a seeded generator,
// so the same score always gives the same samples.
//
// No sample carries a DC offset: a tone's loop has its mean taken out, a
// hit's mean is taken out under a smooth bump that is zero at both ends, so
// neither the start nor the end of the sound steps.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <utility>

#include "score.h"

namespace {

constexpr double MIDDLE_C = 261.6255653;
constexpr double BASE_RATE = 8363.0;
constexpr double HIT_RATE = BASE_RATE * 4;
constexpr double DETUNE_TOLERANCE_CENTS = 2.0;
constexpr double NEAR_EXACT_CENTS = 0.25;
constexpr int MAX_LOOP_SAMPLES = 1 << 18;

// A xorshift generator: white noise in -1..1, the same for the same seed.
struct noise_source {
    uint32_t state;
};

noise_source noise_from(uint32_t seed) { return {seed ? seed : 0x9e3779b9u}; }

double next_noise(noise_source &n) {
    n.state ^= n.state << 13;
    n.state ^= n.state >> 17;
    n.state ^= n.state << 5;
    return static_cast<double>(n.state) / 2147483648.0 - 1.0;
}

// One period of a wave at phase 0..1.
double wave_at(wave_kind w, double phase, int pulse, noise_source &noise) {
    phase -= std::floor(phase);
    switch (w) {
        case wave_kind::sine:
            return std::sin(2 * std::numbers::pi * phase);
        case wave_kind::square:
            return phase < pulse / 100.0 ? 1.0 : -1.0;
        case wave_kind::saw:
            return 2.0 * phase - 1.0;
        case wave_kind::triangle:
            return phase < 0.5 ? 4.0 * phase - 1.0 : 3.0 - 4.0 * phase;
        case wave_kind::noise:
            return next_noise(noise);
    }
    return 0;
}

uint32_t seed_of(const instrument &ins) {
    return ins.seed ? ins.seed : 0x1234567u + 7919u * static_cast<uint32_t>(ins.number);
}

// One-pole filters in place; `rate` is the rate the samples will play at for C-4.
void filter(std::vector<double> &s, const instrument &ins, double rate) {
    if (ins.lowpass > 0) {
        double a = 1.0 - std::exp(-2 * std::numbers::pi * ins.lowpass / rate);
        double y = 0;
        for (double &x : s)
            x = y += a * (x - y);
    }
    if (ins.highpass > 0) {
        double a = 1.0 - std::exp(-2 * std::numbers::pi * ins.highpass / rate);
        double low = 0;
        for (double &x : s) {
            low += a * (x - low);
            x -= low;
        }
    }
}

void saturate(std::vector<double> &s, double drive) {
    if (drive <= 0)
        return;
    double norm = std::tanh(1.0 + drive);
    for (double &x : s)
        x = std::tanh(x * (1.0 + drive)) / norm;
}

std::vector<int16_t> to_pcm(const std::vector<double> &s) {
    double peak = 0;
    for (double x : s)
        peak = std::max(peak, std::fabs(x));
    double scale = peak > 0 ? 32000.0 / peak : 0;
    std::vector<int16_t> out(s.size());
    for (size_t i = 0; i < s.size(); ++i)
        out[i] = static_cast<int16_t>(std::lround(s[i] * scale));
    return out;
}

}  // namespace

std::pair<int, int> loop_periods(const instrument &ins) {
    if (!ins.has_wave2)
        return {ins.cycles, 0};
    const double wanted = 1200.0 * ins.octave2 + ins.detune;
    const double ratio = std::pow(2.0, wanted / 1200.0);
    // The shortest loop that is near exact, else the closest one within the tolerance.
    const int most = std::max(ins.cycles, MAX_LOOP_SAMPLES / ins.cycle);
    std::pair<int, int> best{0, 0};
    double best_error = DETUNE_TOLERANCE_CENTS;
    for (int cycles = ins.cycles; cycles <= most; ++cycles) {
        const long cycles2 = std::lround(cycles * ratio);
        if (cycles2 < 1)
            continue;
        const double error =
            std::fabs(1200.0 * std::log2(static_cast<double>(cycles2) / cycles) - wanted);
        if (error <= NEAR_EXACT_CENTS)
            return {cycles, static_cast<int>(cycles2)};
        if (error <= best_error) {
            best = {cycles, static_cast<int>(cycles2)};
            best_error = error;
        }
    }
    if (best.first)
        return best;
    char what[160];
    std::snprintf(
        what, sizeof what,
        "detune %g cents cannot be realised within %g cents in a loop of at most %d samples "
        "(a shorter cycle or a larger detune can)",
        ins.detune, DETUNE_TOLERANCE_CENTS, MAX_LOOP_SAMPLES);
    throw score_error{ins.detune_line ? ins.detune_line : ins.line, what};
}

namespace {

void remove_mean(std::vector<double> &s) {
    if (s.empty())
        return;
    double mean = 0;
    for (double x : s)
        mean += x;
    mean /= static_cast<double>(s.size());
    for (double &x : s)
        x -= mean;
}

// Takes the mean out under a raised-cosine bump, zero at both ends.
void remove_mean_smoothly(std::vector<double> &s) {
    const size_t n = s.size();
    if (n < 3)
        return;
    double sum = 0, weight = 0;
    std::vector<double> bump(n);
    for (size_t i = 0; i < n; ++i) {
        bump[i] = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(i) /
                                       static_cast<double>(n - 1));
        sum += s[i];
        weight += bump[i];
    }
    for (size_t i = 0; i < n; ++i)
        s[i] -= sum / weight * bump[i];
}

// The relative note and finetune that play a sample made at `rate` for C-4
// as written, moved by the instrument's own relnote and finetune.
void tune(sample &out, double rate, const instrument &ins) {
    double semis = 12.0 * std::log2(rate / BASE_RATE) + ins.relnote + ins.finetune / 128.0;
    out.relnote = static_cast<int>(std::lround(semis));
    out.finetune =
        std::clamp(static_cast<int>(std::lround((semis - out.relnote) * 128.0)), -128, 127);
}

sample tone(const instrument &ins) {
    noise_source noise = noise_from(seed_of(ins));
    const auto [cycles, cycles2] = loop_periods(ins);
    const int length = ins.cycle * cycles;
    // Render the loop twice so the filters reach their steady state, keep the second.
    const bool filtered = ins.lowpass > 0 || ins.highpass > 0;
    const int passes = filtered ? 2 : 1;
    std::vector<double> s(static_cast<size_t>(length) * passes);
    const double mix = ins.has_wave2 ? ins.mix / 100.0 : 0.0;
    for (size_t i = 0; i < s.size(); ++i) {
        double t = static_cast<double>(i % length) / length;
        double a = wave_at(ins.wave, t * cycles, ins.pulse, noise);
        double b = ins.has_wave2 ? wave_at(ins.wave2, t * cycles2, ins.pulse2, noise) : 0.0;
        s[i] = (1 - mix) * a + mix * b;
    }
    double rate = MIDDLE_C * ins.cycle;
    filter(s, ins, rate);
    s.erase(s.begin(), s.begin() + static_cast<long>(s.size() - length));
    saturate(s, ins.drive);
    remove_mean(s);

    // An attack: the loop's own tail, faded in, plays once before the loop,
    // so the note starts from silence and runs on into the loop unbroken.
    const size_t lead_in =
        std::min(static_cast<size_t>(length),
                 static_cast<size_t>(std::lround(std::max(0.0, ins.attack_ms) * rate / 1000.0)));
    std::vector<double> ramp(s.end() - static_cast<long>(lead_in), s.end());
    for (size_t i = 0; i < lead_in; ++i)
        ramp[i] *= static_cast<double>(i) / static_cast<double>(lead_in);
    s.insert(s.begin(), ramp.begin(), ramp.end());

    sample out;
    out.data = to_pcm(s);
    out.loop = true;
    out.loop_start = static_cast<uint32_t>(lead_in);
    out.loop_length = static_cast<uint32_t>(length);
    tune(out, rate, ins);
    return out;
}

sample hit(const instrument &ins) {
    noise_source noise = noise_from(seed_of(ins));
    noise_source white = noise_from(seed_of(ins) * 2654435761u + 1);
    const size_t n =
        static_cast<size_t>(std::max(1.0, std::round(ins.length_ms * HIT_RATE / 1000.0)));
    std::vector<double> s(n);
    double phase = 0, phase2 = 0;
    const double mix = ins.has_wave2 ? ins.mix / 100.0 : 0.0;
    const double ratio2 = std::pow(2.0, ins.octave2 + ins.detune / 1200.0);
    const double noise_share = ins.noise / 100.0;
    const double noise_decay = ins.noise_decay_ms < 0 ? ins.decay_ms : ins.noise_decay_ms;
    const size_t tail = std::min(n, static_cast<size_t>(HIT_RATE * 0.002));  // 2 ms fade at the end
    for (size_t i = 0; i < n; ++i) {
        double ms = 1000.0 * static_cast<double>(i) / HIT_RATE;
        double f = ins.freq_start;
        if (ins.sweep_ms > 0)
            f = ins.freq_start *
                std::pow(ins.freq_end / ins.freq_start, std::min(ms / ins.sweep_ms, 1.0));
        double a = wave_at(ins.wave, phase, ins.pulse, noise);
        double b = ins.has_wave2 ? wave_at(ins.wave2, phase2, ins.pulse2, noise) : 0.0;
        phase += f / HIT_RATE;
        phase2 += f * ratio2 / HIT_RATE;
        phase -= std::floor(phase);
        phase2 -= std::floor(phase2);
        double body = (1 - mix) * a + mix * b;
        if (ins.decay_ms > 0)
            body *= std::exp(-ms / ins.decay_ms);
        double hiss = next_noise(white);
        if (noise_decay > 0)
            hiss *= std::exp(-ms / noise_decay);
        double v = (1 - noise_share) * body + noise_share * hiss;
        if (ins.attack_ms > 0 && ms < ins.attack_ms)
            v *= ms / ins.attack_ms;
        if (i + tail >= n)
            v *= static_cast<double>(n - i) / static_cast<double>(tail + 1);
        s[i] = v;
    }
    filter(s, ins, HIT_RATE);
    saturate(s, ins.drive);
    remove_mean_smoothly(s);

    sample out;
    out.data = to_pcm(s);
    tune(out, HIT_RATE, ins);
    return out;
}

}  // namespace

sample synthesize(const instrument &ins) { return ins.hit ? hit(ins) : tone(ins); }
