// Renders modules through libxmp with the player's own defaults (as the show
// plays them) and measures levels, width, spectrum and pitch.
#include "listen.h"

#include <xmp.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr double MAX_SONG_S = 1200;  // a song that never loops is cut here
constexpr int C4 = 60;               // libxmp's number for the note written C-4

void append_frame(rendering &r, const xmp_frame_info &fi) {
    const int16_t *pcm = static_cast<const int16_t *>(fi.buffer);
    const size_t n = static_cast<size_t>(fi.buffer_size) / sizeof(int16_t);
    for (size_t i = 0; i < n; ++i)
        r.frames.push_back(pcm[i] / 32768.0f);
}

// In-place radix-2 FFT; the size must be a power of two.
void fft(std::vector<std::complex<double>> &a) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> w = std::polar(1.0, -2 * PI / static_cast<double>(len));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> wk = 1;
            for (size_t k = 0; k < len / 2; ++k) {
                std::complex<double> u = a[i + k], v = a[i + k + len / 2] * wk;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                wk *= w;
            }
        }
    }
}

// Power spectrum of both channels, Hann-windowed and summed over blocks of
// `size` frames (hop half a block).
std::vector<double> power_spectrum(const std::vector<float> &frames, size_t size) {
    std::vector<double> power(size / 2 + 1, 0.0);
    const size_t count = frames.size() / 2;
    std::vector<double> window(size);
    for (size_t i = 0; i < size; ++i)
        window[i] =
            0.5 - 0.5 * std::cos(2 * PI * static_cast<double>(i) / static_cast<double>(size));
    std::vector<std::complex<double>> buf(size);
    for (size_t start = 0; start + size <= count || (start == 0 && count > 0); start += size / 2) {
        for (int ch = 0; ch < 2; ++ch) {
            for (size_t i = 0; i < size; ++i) {
                size_t f = start + i;
                buf[i] = f < count ? frames[2 * f + static_cast<size_t>(ch)] * window[i] : 0.0;
            }
            fft(buf);
            for (size_t k = 0; k < power.size(); ++k)
                power[k] += std::norm(buf[k]);
        }
        if (start + size > count)
            break;
    }
    return power;
}

}  // namespace

rendering render_song(const std::string &file, int solo) {
    rendering r;
    xmp_context ctx = xmp_create_context();
    if (xmp_load_module(ctx, file.c_str()) != 0) {
        xmp_free_context(ctx);
        return r;
    }
    xmp_module_info info;
    xmp_get_module_info(ctx, &info);
    xmp_start_player(ctx, LISTEN_RATE, 0);
    if (solo >= 0)
        for (int ch = 0; ch < info.mod->chn; ++ch)
            xmp_channel_mute(ctx, ch, ch == solo ? 0 : 1);
    xmp_frame_info fi;
    while (xmp_play_frame(ctx) == 0) {
        xmp_get_frame_info(ctx, &fi);
        if (fi.loop_count > 0)
            break;
        if (r.loop_s < 0 && fi.pos == info.mod->rst)
            r.loop_s = static_cast<double>(r.frames.size() / 2) / LISTEN_RATE;
        append_frame(r, fi);
        if (static_cast<double>(r.frames.size()) > MAX_SONG_S * 2 * LISTEN_RATE)
            break;
    }
    r.duration_s = static_cast<double>(r.frames.size() / 2) / LISTEN_RATE;
    r.ok = true;
    xmp_end_player(ctx);
    xmp_release_module(ctx);
    xmp_free_context(ctx);
    return r;
}

rendering render_instrument(const std::string &file, int instrument, double seconds) {
    rendering r;
    xmp_context ctx = xmp_create_context();
    if (xmp_start_smix(ctx, 1, 0) != 0 || xmp_load_module(ctx, file.c_str()) != 0) {
        xmp_free_context(ctx);
        return r;
    }
    xmp_module_info info;
    xmp_get_module_info(ctx, &info);
    xmp_start_player(ctx, LISTEN_RATE, 0);
    for (int ch = 0; ch < info.mod->chn; ++ch)
        xmp_channel_mute(ctx, ch, 1);
    // Without its volume envelope a tone holds steady, long enough to measure.
    info.mod->xxi[instrument - 1].aei.flg &= ~XMP_ENVELOPE_ON;
    xmp_smix_play_instrument(ctx, instrument - 1, C4, 64, 0);
    xmp_frame_info fi;
    while (static_cast<double>(r.frames.size()) < seconds * 2 * LISTEN_RATE &&
           xmp_play_frame(ctx) == 0) {
        xmp_get_frame_info(ctx, &fi);
        append_frame(r, fi);
    }
    r.frames.resize(std::min(r.frames.size(), static_cast<size_t>(seconds * LISTEN_RATE) * 2));
    r.duration_s = static_cast<double>(r.frames.size() / 2) / LISTEN_RATE;
    r.ok = true;
    xmp_end_player(ctx);
    xmp_release_module(ctx);
    xmp_end_smix(ctx);
    xmp_free_context(ctx);
    return r;
}

level measure_level(const std::vector<float> &frames) {
    level l;
    double sum = 0, left = 0, right = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        double v = frames[i];
        l.peak = std::max(l.peak, std::fabs(v));
        sum += v * v;
        (i % 2 ? right : left) += v;
        if (v >= 32767 / 32768.0 || v <= -1.0)
            ++l.clipped;
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
    for (size_t i = 0; i + 1 < frames.size(); i += 2) {
        double m = (frames[i] + frames[i + 1]) / 2, s = (frames[i] - frames[i + 1]) / 2;
        mid += m * m;
        side += s * s;
    }
    if (mid <= 0)
        return 0;
    return side > 0 ? 10 * std::log10(side / mid) : -200;
}

std::array<double, 5> band_shares(const std::vector<float> &frames, int rate) {
    const double edges[] = {0, 60, 250, 2000, 6000, 1e9};
    const size_t size = 8192;
    std::vector<double> power = power_spectrum(frames, size);
    std::array<double, 5> share{};
    double total = 0;
    for (size_t k = 1; k < power.size(); ++k) {
        double hz = static_cast<double>(k) * rate / static_cast<double>(size);
        for (int b = 0; b < 5; ++b)
            if (hz >= edges[b] && hz < edges[b + 1])
                share[b] += power[k];
        total += power[k];
    }
    if (total > 0)
        for (double &s : share)
            s /= total;
    return share;
}

namespace {

// Magnitude spectrum of the mid signal over [first, last) frames, Hann
// windowed and zero-padded to a fine grid.
std::vector<double> fine_spectrum(const std::vector<float> &frames, size_t first, size_t last,
                                  double &bin_hz, int rate) {
    const size_t n = last - first;
    size_t size = 1;
    while (size < n * 8 || size < (1u << 18))
        size <<= 1;
    std::vector<std::complex<double>> buf(size, 0.0);
    for (size_t i = 0; i < n; ++i) {
        double w = 0.5 - 0.5 * std::cos(2 * PI * static_cast<double>(i) / static_cast<double>(n));
        buf[i] = w * (frames[2 * (first + i)] + frames[2 * (first + i) + 1]);
    }
    fft(buf);
    bin_hz = static_cast<double>(rate) / static_cast<double>(size);
    const size_t top = std::min(size / 2, static_cast<size_t>(9000 / bin_hz));
    std::vector<double> mag(top);
    for (size_t k = 0; k < top; ++k)
        mag[k] = std::abs(buf[k]);
    return mag;
}

// The peak's position between bins, by a parabola through the log magnitudes.
double refine(const std::vector<double> &mag, size_t peak) {
    double a = std::log(mag[peak - 1] + 1e-12), b = std::log(mag[peak] + 1e-12),
           c = std::log(mag[peak + 1] + 1e-12);
    double offset = (a - c) / (2 * (a - 2 * b + c));
    return static_cast<double>(peak) + (std::isfinite(offset) ? offset : 0.0);
}

}  // namespace

pitch_reading read_pitch(const std::vector<float> &frames, double from_s, double to_s, int rate) {
    pitch_reading out;
    const size_t first = static_cast<size_t>(from_s * rate);
    const size_t last = std::min(frames.size() / 2, static_cast<size_t>(to_s * rate));
    if (last <= first + 64)
        return out;
    double bin_hz = 0;
    const std::vector<double> mag = fine_spectrum(frames, first, last, bin_hz, rate);
    const size_t lo = static_cast<size_t>(20 / bin_hz), hi = static_cast<size_t>(8000 / bin_hz);
    size_t strongest = lo;
    for (size_t k = lo; k <= hi; ++k)
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
    size_t peak = strongest;
    for (size_t k = lo + 1; k < strongest; ++k) {
        if (mag[k] >= mag[strongest] / 4 && mag[k] >= mag[k - 1] && mag[k] > mag[k + 1]) {
            peak = k;
            break;
        }
    }
    out.hz = refine(mag, peak) * bin_hz;
    // A second voice: the strongest other peak within 60 cents, clear of the
    // fundamental's own lobe, and no more than 20 dB under it.
    const double lobe = 3.0 * rate / static_cast<double>(last - first) / bin_hz;
    const size_t from = static_cast<size_t>(out.hz * std::pow(2.0, -60 / 1200.0) / bin_hz);
    const size_t to =
        std::min(mag.size() - 2, static_cast<size_t>(out.hz * std::pow(2.0, 60 / 1200.0) / bin_hz));
    size_t twin = 0;
    for (size_t k = std::max<size_t>(from, 1); k <= to; ++k) {
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
    size_t end = r.frames.size() / 2;
    while (end > 0 && std::fabs(r.frames[2 * end - 2]) + std::fabs(r.frames[2 * end - 1]) < 2e-3)
        --end;
    const double sounds_s = static_cast<double>(end) / LISTEN_RATE;
    return read_pitch(r.frames, std::min(0.1, sounds_s / 3), sounds_s);
}

double cents_off_note(double hz, std::string *name) {
    if (hz <= 0)
        return 0;
    double semis = 12 * std::log2(hz / 440.0) + 57;  // semitones above C-0
    long note = std::lround(semis);
    if (name) {
        static const char *names[] = {"C-", "C#", "D-", "D#", "E-", "F-",
                                      "F#", "G-", "G#", "A-", "A#", "B-"};
        *name = std::string(names[((note % 12) + 12) % 12]) +
                std::to_string(note >= 0 ? note / 12 : -1);
    }
    return 100 * (semis - static_cast<double>(note));
}

std::string to_db(double amplitude) {
    char buf[32];
    if (amplitude <= 0)
        return "-inf dB";
    std::snprintf(buf, sizeof buf, "%.1f dB", 20 * std::log10(amplitude));
    return buf;
}
