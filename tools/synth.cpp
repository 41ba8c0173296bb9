// Turns an instrument description into sample data.
//
// Tones are single loops: `cycles` periods of the first wave, and for the
// second wave the whole number of periods nearest to the asked detune and
// octave, so the loop joins without a click and the two waves beat against
// each other at a steady rate. The relative note and finetune are set so that
// C-4 sounds at middle C (261.63 Hz).
//
// Hits are rendered in time at 33452 Hz (four times the XM base rate, so C-4
// plays them back unchanged): an oscillator with an exponential pitch sweep,
// white noise with its own decay, an attack ramp and an exponential decay,
// then filters and soft saturation. The noise comes from a seeded generator,
// so the same score always gives the same samples.
#include <algorithm>
#include <cmath>

#include "score.hpp"

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr double MIDDLE_C = 261.6255653;
constexpr double BASE_RATE = 8363.0;
constexpr double HIT_RATE = BASE_RATE * 4;

// A xorshift generator: white noise in -1..1, the same for the same seed.
struct noise_source {
    uint32_t state;
};

noise_source noise_from(uint32_t seed) { return {seed ? seed : 0x9e3779b9u}; }

double next_noise(noise_source& n) {
    n.state ^= n.state << 13;
    n.state ^= n.state >> 17;
    n.state ^= n.state << 5;
    return static_cast<double>(n.state) / 2147483648.0 - 1.0;
}

// One period of a wave at phase 0..1.
double wave_at(wave_kind w, double phase, int pulse, noise_source& noise) {
    phase -= std::floor(phase);
    switch (w) {
    case wave_kind::sine: return std::sin(2 * PI * phase);
    case wave_kind::square: return phase < pulse / 100.0 ? 1.0 : -1.0;
    case wave_kind::saw: return 2.0 * phase - 1.0;
    case wave_kind::triangle: return phase < 0.5 ? 4.0 * phase - 1.0 : 3.0 - 4.0 * phase;
    case wave_kind::noise: return next_noise(noise);
    }
    return 0;
}

uint32_t seed_of(const instrument& ins) { return ins.seed ? ins.seed : 0x1234567u + 7919u * static_cast<uint32_t>(ins.number); }

// One-pole filters in place; `rate` is the rate the samples will play at for C-4.
void filter(std::vector<double>& s, const instrument& ins, double rate) {
    if (ins.lowpass > 0) {
        double a = 1.0 - std::exp(-2 * PI * ins.lowpass / rate);
        double y = 0;
        for (double& x : s) x = y += a * (x - y);
    }
    if (ins.highpass > 0) {
        double a = 1.0 - std::exp(-2 * PI * ins.highpass / rate);
        double low = 0;
        for (double& x : s) {
            low += a * (x - low);
            x -= low;
        }
    }
}

void saturate(std::vector<double>& s, double drive) {
    if (drive <= 0) return;
    double norm = std::tanh(1.0 + drive);
    for (double& x : s) x = std::tanh(x * (1.0 + drive)) / norm;
}

std::vector<int16_t> to_pcm(const std::vector<double>& s) {
    double peak = 0;
    for (double x : s) peak = std::max(peak, std::fabs(x));
    double scale = peak > 0 ? 32000.0 / peak : 0;
    std::vector<int16_t> out(s.size());
    for (size_t i = 0; i < s.size(); ++i) out[i] = static_cast<int16_t>(std::lround(s[i] * scale));
    return out;
}

sample tone(const instrument& ins) {
    noise_source noise = noise_from(seed_of(ins));
    const int length = ins.cycle * ins.cycles;
    int cycles2 = 0;
    if (ins.has_wave2) {
        if (ins.cycles * std::pow(2.0, ins.octave2) < 1.0)
            throw score_error(ins.line, "octave2 " + std::to_string(ins.octave2) + " needs at least " +
                                           std::to_string(1 << -ins.octave2) + " cycles in the loop");
        double ratio = std::pow(2.0, ins.octave2 + ins.detune / 1200.0);
        cycles2 = std::max(1, static_cast<int>(std::lround(ins.cycles * ratio)));
        // A detune that rounds away to nothing still gets its one beat per loop.
        if (ins.detune != 0 && cycles2 == static_cast<int>(std::lround(ins.cycles * std::pow(2.0, ins.octave2))))
            cycles2 += ins.detune > 0 ? 1 : -1;
        cycles2 = std::max(1, cycles2);
    }
    // Render the loop twice so the filters reach their steady state, keep the second.
    const bool filtered = ins.lowpass > 0 || ins.highpass > 0;
    const int passes = filtered ? 2 : 1;
    std::vector<double> s(static_cast<size_t>(length) * passes);
    const double mix = ins.has_wave2 ? ins.mix / 100.0 : 0.0;
    for (size_t i = 0; i < s.size(); ++i) {
        double t = static_cast<double>(i % length) / length;
        double a = wave_at(ins.wave, t * ins.cycles, ins.pulse, noise);
        double b = ins.has_wave2 ? wave_at(ins.wave2, t * cycles2, ins.pulse2, noise) : 0.0;
        s[i] = (1 - mix) * a + mix * b;
    }
    double rate = MIDDLE_C * ins.cycle;
    filter(s, ins, rate);
    s.erase(s.begin(), s.begin() + static_cast<long>(s.size() - length));
    saturate(s, ins.drive);

    sample out;
    out.data = to_pcm(s);
    out.loop = true;
    out.loop_start = 0;
    out.loop_length = static_cast<uint32_t>(length);
    double semis = 12.0 * std::log2(rate / BASE_RATE) + ins.relnote + ins.finetune / 128.0;
    out.relnote = static_cast<int>(std::lround(semis));
    out.finetune = static_cast<int>(std::lround((semis - out.relnote) * 128.0));
    out.finetune = std::clamp(out.finetune, -128, 127);
    return out;
}

sample hit(const instrument& ins) {
    noise_source noise = noise_from(seed_of(ins));
    noise_source white = noise_from(seed_of(ins) * 2654435761u + 1);
    const size_t n = static_cast<size_t>(std::max(1.0, std::round(ins.length_ms * HIT_RATE / 1000.0)));
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
            f = ins.freq_start * std::pow(ins.freq_end / ins.freq_start, std::min(ms / ins.sweep_ms, 1.0));
        double a = wave_at(ins.wave, phase, ins.pulse, noise);
        double b = ins.has_wave2 ? wave_at(ins.wave2, phase2, ins.pulse2, noise) : 0.0;
        phase += f / HIT_RATE;
        phase2 += f * ratio2 / HIT_RATE;
        phase -= std::floor(phase);
        phase2 -= std::floor(phase2);
        double body = (1 - mix) * a + mix * b;
        if (ins.decay_ms > 0) body *= std::exp(-ms / ins.decay_ms);
        double hiss = next_noise(white);
        if (noise_decay > 0) hiss *= std::exp(-ms / noise_decay);
        double v = (1 - noise_share) * body + noise_share * hiss;
        if (ins.attack_ms > 0 && ms < ins.attack_ms) v *= ms / ins.attack_ms;
        if (i + tail >= n) v *= static_cast<double>(n - i) / static_cast<double>(tail + 1);
        s[i] = v;
    }
    filter(s, ins, HIT_RATE);
    saturate(s, ins.drive);

    sample out;
    out.data = to_pcm(s);
    double semis = 12.0 * std::log2(HIT_RATE / BASE_RATE) + ins.relnote + ins.finetune / 128.0;
    out.relnote = static_cast<int>(std::lround(semis));
    out.finetune = std::clamp(static_cast<int>(std::lround((semis - out.relnote) * 128.0)), -128, 127);
    return out;
}

}  // namespace

sample synthesize(const instrument& ins) { return ins.hit ? hit(ins) : tone(ins); }
