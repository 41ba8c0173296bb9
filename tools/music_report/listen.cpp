// Renders modules through libxmp with the player's own defaults (as the show
// plays them) and measures levels, width, spectrum and pitch.
#include "listen.h"

#include <xmp.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdio>
#include <numbers>

#include "notes.h"

namespace {

constexpr int C4 = 60;  // libxmp's number for the note written C-4

void append_frame(rendering &r, const xmp_frame_info &fi) {
    const int16_t *pcm = static_cast<const int16_t *>(fi.buffer);
    const std::size_t n = static_cast<std::size_t>(fi.buffer_size) / sizeof(int16_t);
    for (std::size_t i = 0; i < n; i++)
        r.frames.push_back(pcm[i] / 32768.0f);
}

}  // namespace

void fft(std::vector<std::complex<double>> &a) {
    const std::size_t n = a.size();
    for (std::size_t i = 1, j = 0; i < n; i++) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(a[i], a[j]);
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> w =
            std::polar(1.0, -2 * std::numbers::pi / static_cast<double>(len));
        for (std::size_t i = 0; i < n; i += len) {
            std::complex<double> wk = 1;
            for (std::size_t k = 0; k < len / 2; k++) {
                std::complex<double> u = a[i + k], v = a[i + k + len / 2] * wk;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                wk *= w;
            }
        }
    }
}

namespace {

// Power spectrum of both channels, Hann-windowed and summed over blocks of
// `size` frames (hop half a block).
std::vector<double> power_spectrum(const std::vector<float> &frames, std::size_t size) {
    std::vector<double> power(size / 2 + 1, 0.0);
    const std::size_t count = frames.size() / 2;
    std::vector<double> window(size);
    for (std::size_t i = 0; i < size; i++)
        window[i] = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(i) /
                                         static_cast<double>(size));
    std::vector<std::complex<double>> buf(size);
    for (std::size_t start = 0; start + size <= count || (start == 0 && count > 0);
         start += size / 2) {
        for (int ch = 0; ch < 2; ch++) {
            for (std::size_t i = 0; i < size; i++) {
                std::size_t f = start + i;
                buf[i] = f < count ? frames[2 * f + static_cast<std::size_t>(ch)] * window[i] : 0.0;
            }
            fft(buf);
            for (std::size_t k = 0; k < power.size(); k++)
                power[k] += std::norm(buf[k]);
        }
        if (start + size > count)
            break;
    }
    return power;
}

// Plays the song from its start, calling `each` with every tick, until it
// loops, stops or has played `MAX_SONG_S`: true when it looped or stopped.
template <typename F>
bool play_through(player &p, F each) {
    xmp_frame_info fi;
    double played_s = 0;
    while (xmp_play_frame(p.ctx) == 0) {
        xmp_get_frame_info(p.ctx, &fi);
        if (fi.loop_count > 0)
            return true;
        if (played_s > MAX_SONG_S)
            return false;
        each(fi);
        played_s += fi.frame_time / 1e6;
    }
    return true;
}

// Silences every sample that does not belong to `instrument` (1-based): its
// data zeroed and its length cut to nothing, so neither it nor its loop's
// join sounds.
void keep_only(xmp_module &m, int instrument) {
    std::vector<bool> keep(static_cast<std::size_t>(m.smp), false);
    const xmp_instrument &ins = m.xxi[instrument - 1];
    for (int i = 0; i < ins.nsm; i++)
        if (ins.sub[i].sid >= 0 && ins.sub[i].sid < m.smp)
            keep[static_cast<std::size_t>(ins.sub[i].sid)] = true;
    for (int i = 0; i < m.smp; i++) {
        xmp_sample &s = m.xxs[i];
        if (keep[static_cast<std::size_t>(i)] || !s.data || s.len <= 0)
            continue;
        std::fill_n(s.data, s.len * ((s.flg & XMP_SAMPLE_16BIT) ? 2 : 1), 0);
        s.len = s.lps = s.lpe = 0;
        s.flg &= ~(XMP_SAMPLE_LOOP | XMP_SAMPLE_LOOP_BIDIR);
    }
}

}  // namespace

rendering render_song(const std::string &file, int solo, int instrument) {
    rendering r;
    if (solo < 0 && instrument == 0) {
        // A quick pass at a low rate first: a song that never loops is
        // refused before it fills memory. A part of the song is rendered only
        // after the whole, so it needs no pass of its own.
        player scan(file, 8000, XMP_FORMAT_MONO);
        if (!scan.started)
            return r;
        if (!play_through(scan, [](const xmp_frame_info &) {})) {
            r.too_long = true;
            return r;
        }
    }
    player p(file, LISTEN_RATE, 0);
    if (!p.started)
        return r;
    if (solo >= 0)
        for (int ch = 0; ch < p.info.mod->chn; ch++)
            xmp_channel_mute(p.ctx, ch, ch == solo ? 0 : 1);
    if (instrument > 0 && instrument <= p.info.mod->ins)
        keep_only(*p.info.mod, instrument);
    const int restart = p.info.mod->rst;
    r.ok = play_through(p, [&](const xmp_frame_info &fi) {
        if (r.loop_s < 0 && fi.pos == restart)
            r.loop_s = static_cast<double>(r.frames.size() / 2) / LISTEN_RATE;
        append_frame(r, fi);
    });
    r.duration_s = static_cast<double>(r.frames.size() / 2) / LISTEN_RATE;
    return r;
}

rendering render_instrument(const std::string &file, int instrument, double seconds) {
    rendering r;
    player p(file, LISTEN_RATE, 0, true);
    if (!p.started || instrument < 1 || instrument > p.info.mod->ins)
        return r;
    for (int ch = 0; ch < p.info.mod->chn; ch++)
        xmp_channel_mute(p.ctx, ch, 1);
    // Without its volume envelope a tone holds steady, long enough to measure.
    p.info.mod->xxi[instrument - 1].aei.flg &= ~XMP_ENVELOPE_ON;
    xmp_smix_play_instrument(p.ctx, instrument - 1, C4, 64, 0);
    xmp_frame_info fi;
    while (static_cast<double>(r.frames.size()) < seconds * 2 * LISTEN_RATE &&
           xmp_play_frame(p.ctx) == 0) {
        xmp_get_frame_info(p.ctx, &fi);
        append_frame(r, fi);
    }
    r.frames.resize(std::min(r.frames.size(), static_cast<std::size_t>(seconds * LISTEN_RATE) * 2));
    r.duration_s = static_cast<double>(r.frames.size() / 2) / LISTEN_RATE;
    r.ok = true;
    return r;
}

level measure_level(const std::vector<float> &frames) {
    level l;
    double sum = 0, left = 0, right = 0;
    for (std::size_t i = 0; i < frames.size(); i++) {
        double v = frames[i];
        l.peak = std::max(l.peak, std::fabs(v));
        sum += v * v;
        (i % 2 ? right : left) += v;
        if (v >= 32767 / 32768.0 || v <= -1.0)
            l.clipped++;
    }
    if (frames.empty())
        return l;
    const double n = static_cast<double>(frames.size());
    l.rms = std::sqrt(sum / n);
    left /= n / 2;
    right /= n / 2;
    l.dc = std::fabs(left) > std::fabs(right) ? left : right;
    return l;
}

double stereo_width_db(const std::vector<float> &frames) {
    double mid = 0, side = 0;
    for (std::size_t i = 0; i + 1 < frames.size(); i += 2) {
        double m = (frames[i] + frames[i + 1]) / 2, s = (frames[i] - frames[i + 1]) / 2;
        mid += m * m;
        side += s * s;
    }
    if (mid <= 0)
        return 0;
    return side > 0 ? 10 * std::log10(side / mid) : -200;
}

std::vector<double> band_shares(const std::vector<float> &frames, const std::vector<double> &edges,
                                int rate) {
    const std::size_t size = 8192;
    const std::vector<double> power = power_spectrum(frames, size);
    std::vector<double> share(edges.size(), 0.0);
    double total = 0;
    for (std::size_t k = 1; k < power.size(); k++) {
        const double hz = static_cast<double>(k) * rate / static_cast<double>(size);
        const auto above = std::upper_bound(edges.begin(), edges.end(), hz);
        if (above != edges.begin())
            share[static_cast<std::size_t>(above - edges.begin() - 1)] += power[k];
        total += power[k];
    }
    if (total > 0)
        for (double &s : share)
            s /= total;
    return share;
}

namespace {

// The two stages of the K weighting at `rate`: a shelf of about +4 dB above
// 1.5 kHz (the head's effect) and a high-pass at 38 Hz.
std::array<biquad, 2> k_weighting(int rate) {
    double k = std::tan(std::numbers::pi * 1681.974450955533 / rate);
    const double q = 0.7071752369554196, vh = std::pow(10.0, 3.999843853973347 / 20);
    const double vb = std::pow(vh, 0.4996667741545416);
    double a0 = 1 + k / q + k * k;
    const biquad shelf{(vh + vb * k / q + k * k) / a0, 2 * (k * k - vh) / a0,
                       (vh - vb * k / q + k * k) / a0, 2 * (k * k - 1) / a0,
                       (1 - k / q + k * k) / a0};
    k = std::tan(std::numbers::pi * 38.13547087602444 / rate);
    const double q2 = 0.5003270373238773;
    a0 = 1 + k / q2 + k * k;
    const biquad high{1, -2, 1, 2 * (k * k - 1) / a0, (1 - k / q2 + k * k) / a0};
    return {shelf, high};
}

}  // namespace

std::vector<double> loudness_lufs(const std::vector<float> &frames, double window_s, int rate) {
    std::array<std::array<biquad, 2>, 2> filters = {k_weighting(rate), k_weighting(rate)};
    const std::size_t window = static_cast<std::size_t>(window_s * rate);
    const std::size_t count = frames.size() / 2;
    std::vector<double> out;
    double sum = 0;
    std::size_t in_window = 0;
    auto close_window = [&] {
        out.push_back(sum > 0 ? -0.691 + 10 * std::log10(sum / static_cast<double>(in_window))
                              : -HUGE_VAL);
        sum = 0;
        in_window = 0;
    };
    for (std::size_t i = 0; i < count; i++) {
        for (std::size_t ch = 0; ch < 2; ch++) {
            const double y = filters[ch][1].run(filters[ch][0].run(frames[2 * i + ch]));
            sum += y * y;
        }
        in_window++;
        if (in_window == window)
            close_window();
    }
    if (window > 0 && in_window >= window / 2)
        close_window();
    return out;
}

namespace {

// libxmp reports a channel's period as 4096 times an Amiga-style period,
// which is this over two to the power of (key + transpose) / 12.
constexpr double XMP_PERIOD_AT_C0 = 13696.0 * 4096.0;

// libxmp numbers its keys an octave above the score's names: its key 60 is C-4.
constexpr int XMP_KEY_OF_C0 = 12;

// The note a channel is meant to sound, as its rows have written it.
struct written_note {
    int key = -1;      // libxmp's key; -1: none yet
    int arpeggio = 0;  // the effect parameter of an arpeggio on this row, 0: none
};

// The cents between what a channel plays and the nearest of the notes its row wants.
double cents_from_written(const xmp_module &m, const xmp_channel_info &ci, const written_note &w) {
    const xmp_instrument &ins = m.xxi[ci.instrument];
    const int sub = ins.map[w.key].ins < ins.nsm ? ins.map[w.key].ins : 0;
    const double transpose = ins.sub[sub].xpo + ins.sub[sub].fin / 128.0;
    const int steps[] = {0, w.arpeggio >> 4, w.arpeggio & 15};
    double nearest = HUGE_VAL;
    for (int i = 0; i < (w.arpeggio ? 3 : 1); i++) {
        const double wanted = XMP_PERIOD_AT_C0 / std::pow(2.0, (w.key + steps[i] + transpose) / 12);
        const double cents = 1200 * std::log2(wanted / ci.period);
        if (std::fabs(cents) < std::fabs(nearest))
            nearest = cents;
    }
    return nearest;
}

// Whether a channel is sounding a looped sample, the only kind with a held pitch.
bool plays_pitched(const xmp_module &m, const xmp_channel_info &ci) {
    if (ci.period == 0 || ci.volume == 0 || ci.instrument >= m.ins || ci.sample >= m.smp)
        return false;
    return m.xxi[ci.instrument].nsm > 0 && (m.xxs[ci.sample].flg & XMP_SAMPLE_LOOP);
}

void keep_longest(std::vector<off_pitch_stretch> &longest, const off_pitch_stretch &s) {
    const std::size_t KEEP = 6;
    longest.push_back(s);
    std::sort(longest.begin(), longest.end(),
              [](const auto &a, const auto &b) { return a.length_s > b.length_s; });
    if (longest.size() > KEEP)
        longest.pop_back();
}

}  // namespace

std::vector<channel_pitch> off_pitch(const std::string &file, double limit_cents) {
    player p(file, 8000, XMP_FORMAT_MONO);
    if (!p.started)
        return {};
    const xmp_module &m = *p.info.mod;
    const std::size_t channels = static_cast<std::size_t>(m.chn);
    std::vector<channel_pitch> out(channels);
    std::vector<written_note> written(channels);
    std::vector<off_pitch_stretch> open(channels);
    double now_s = 0;
    play_through(p, [&](const xmp_frame_info &fi) {
        const double tick_s = fi.frame_time / 1e6;
        for (std::size_t ch = 0; ch < channels; ch++) {
            const xmp_channel_info &ci = fi.channel_info[ch];
            written_note &w = written[ch];
            if (ci.event.note > 0 && ci.event.note <= XMP_MAX_KEYS)
                w.key = ci.event.note - 1;
            w.arpeggio = ci.event.fxt == 0 ? ci.event.fxp : 0;
            off_pitch_stretch &o = open[ch];
            double cents = 0;
            if (w.key >= 0 && plays_pitched(m, ci)) {
                out[ch].pitched_s += tick_s;
                cents = cents_from_written(m, ci, w);
            }
            if (std::fabs(cents) > limit_cents) {
                out[ch].off_s += tick_s;
                if (o.length_s == 0 || o.note != w.key - XMP_KEY_OF_C0) {
                    if (o.length_s > 0)
                        keep_longest(out[ch].longest, o);
                    o = {now_s, 0, w.key - XMP_KEY_OF_C0, 0, 0};
                }
                o.length_s += tick_s;
                if (std::fabs(cents) > std::fabs(o.cents))
                    o.cents = cents;
                o.end_cents = cents;
            } else if (o.length_s > 0) {
                keep_longest(out[ch].longest, o);
                o = {};
            }
        }
        now_s += tick_s;
    });
    for (std::size_t ch = 0; ch < channels; ch++) {
        if (open[ch].length_s > 0)
            keep_longest(out[ch].longest, open[ch]);
        std::sort(out[ch].longest.begin(), out[ch].longest.end(),
                  [](const auto &a, const auto &b) { return a.at_s < b.at_s; });
    }
    return out;
}

namespace {

// Magnitude spectrum of the mid signal over [first, last) frames, Hann
// windowed and zero-padded to a fine grid.
std::vector<double> fine_spectrum(const std::vector<float> &frames, std::size_t first,
                                  std::size_t last, double &bin_hz, int rate) {
    const std::size_t n = last - first;
    std::size_t size = 1;
    while (size < n * 8 || size < (1u << 18))
        size <<= 1;
    std::vector<std::complex<double>> buf(size, 0.0);
    for (std::size_t i = 0; i < n; i++) {
        double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(i) /
                                        static_cast<double>(n));
        buf[i] = w * (frames[2 * (first + i)] + frames[2 * (first + i) + 1]);
    }
    fft(buf);
    bin_hz = static_cast<double>(rate) / static_cast<double>(size);
    const std::size_t top = std::min(size / 2, static_cast<std::size_t>(9000 / bin_hz));
    std::vector<double> mag(top);
    for (std::size_t k = 0; k < top; k++)
        mag[k] = std::abs(buf[k]);
    return mag;
}

// The peak's position between bins, by a parabola through the log magnitudes.
double refine(const std::vector<double> &mag, std::size_t peak) {
    double a = std::log(mag[peak - 1] + 1e-12), b = std::log(mag[peak] + 1e-12),
           c = std::log(mag[peak + 1] + 1e-12);
    double offset = (a - c) / (2 * (a - 2 * b + c));
    return static_cast<double>(peak) + (std::isfinite(offset) ? offset : 0.0);
}

}  // namespace

pitch_reading read_pitch(const std::vector<float> &frames, double from_s, double to_s, int rate) {
    pitch_reading out;
    const std::size_t first = static_cast<std::size_t>(from_s * rate);
    const std::size_t last = std::min(frames.size() / 2, static_cast<std::size_t>(to_s * rate));
    if (last <= first + 64)
        return out;
    double bin_hz = 0;
    const std::vector<double> mag = fine_spectrum(frames, first, last, bin_hz, rate);
    const std::size_t lo = static_cast<std::size_t>(20 / bin_hz),
                      hi = static_cast<std::size_t>(8000 / bin_hz);
    std::size_t strongest = lo;
    for (std::size_t k = lo; k <= hi; k++)
        if (mag[k] > mag[strongest])
            strongest = k;
    // Noise: no peak stands well above the typical level of the spectrum.
    std::vector<double> sorted(mag.begin() + static_cast<long>(lo),
                               mag.begin() + static_cast<long>(hi));
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<long>(sorted.size() / 2),
                     sorted.end());
    if (mag[strongest] < 30 * sorted[sorted.size() / 2])
        return out;
    // The lowest local peak within 12 dB of the strongest is the fundamental.
    std::size_t peak = strongest;
    for (std::size_t k = lo + 1; k < strongest; k++) {
        if (mag[k] >= mag[strongest] / 4 && mag[k] >= mag[k - 1] && mag[k] > mag[k + 1]) {
            peak = k;
            break;
        }
    }
    out.hz = refine(mag, peak) * bin_hz;
    // A second voice: the strongest other peak within 60 cents, clear of the
    // fundamental's own lobe, and no more than 20 dB under it.
    const double lobe = 3.0 * rate / static_cast<double>(last - first) / bin_hz;
    const std::size_t from =
        static_cast<std::size_t>(out.hz * std::pow(2.0, -60 / 1200.0) / bin_hz);
    const std::size_t to = std::min(
        mag.size() - 2, static_cast<std::size_t>(out.hz * std::pow(2.0, 60 / 1200.0) / bin_hz));
    std::size_t twin = 0;
    for (std::size_t k = std::max<std::size_t>(from, 1); k <= to; k++) {
        if (std::fabs(static_cast<double>(k) - static_cast<double>(peak)) < lobe)
            continue;
        if (mag[k] >= mag[k - 1] && mag[k] > mag[k + 1] && (!twin || mag[k] > mag[twin]))
            twin = k;
    }
    if (twin && mag[twin] >= mag[peak] / 10) {
        out.twin_cents = 1200 * std::log2(refine(mag, twin) * bin_hz / out.hz);
        out.twin_db = 20 * std::log10(mag[twin] / mag[peak]);
    }
    return out;
}

pitch_reading pitch_at_c4(const std::string &file, int instrument) {
    const rendering r = render_instrument(file, instrument, 6.0);
    std::size_t end = r.frames.size() / 2;
    while (end > 0 && std::fabs(r.frames[2 * end - 2]) + std::fabs(r.frames[2 * end - 1]) < 2e-3)
        --end;
    const double sounds_s = static_cast<double>(end) / LISTEN_RATE;
    return read_pitch(r.frames, std::min(0.1, sounds_s / 3), sounds_s);
}

double cents_off_note(double hz, std::string *name) {
    if (hz <= 0)
        return 0;
    const double semis = 12 * std::log2(hz / 440.0) + 57;  // semitones above C-0
    const long note = std::lround(semis);
    if (name)
        *name = note_name(static_cast<int>(note));
    return 100 * (semis - static_cast<double>(note));
}

std::string to_db(double amplitude) {
    char buf[32];
    if (amplitude <= 0)
        return "-inf dB";
    std::snprintf(buf, sizeof buf, "%.1f dB", 20 * std::log10(amplitude));
    return buf;
}
