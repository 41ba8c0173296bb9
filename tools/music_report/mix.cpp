// The mix measures of the music report: each works on the song's rendering,
// each channel's rendering alone, the kick's rendering alone and the notes
// the song plays, and prints one block of lines.
#include "mix.h"

#include "arrange.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <numbers>

double median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Energy of blocks [from, to) of a per-millisecond series, 0 outside it.
double sum_of(const std::vector<double> &v, long from, long to) {
    double sum = 0;
    for (long i = std::max(0L, from); i < std::min(to, static_cast<long>(v.size())); i++)
        sum += v[static_cast<std::size_t>(i)];
    return sum;
}

namespace {

// A Butterworth low- or high-pass of second order.
biquad pass_filter(double hz, int rate, bool high) {
    const double w = 2 * std::numbers::pi * hz / rate, c = std::cos(w);
    const double alpha = std::sin(w) * std::numbers::sqrt2 / 2, a0 = 1 + alpha;
    const double b0 = (high ? 1 + c : 1 - c) / 2 / a0;
    return {b0, high ? -2 * b0 : 2 * b0, b0, -2 * c / a0, (1 - alpha) / a0};
}

double db(double ratio) { return 10 * std::log10(ratio); }

bool name_has(const char *name, const char *word) {
    std::string lower(name);
    for (char &c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower.find(word) != std::string::npos;
}

enum class part { other, kick, bass, lead, echo };

part part_of(const xmp_module &m, int instrument) {
    if (instrument < 1 || instrument > m.ins)
        return part::other;
    const char *name = m.xxi[instrument - 1].name;
    if (name_has(name, "lead"))
        return name_has(name, "echo") ? part::echo : part::lead;
    if (name_has(name, "kick"))
        return part::kick;
    return name_has(name, "bass") ? part::bass : part::other;
}

bool loops(const xmp_module &m, int instrument) {
    if (instrument < 1 || instrument > m.ins || m.xxi[instrument - 1].nsm < 1)
        return false;
    const int sid = m.xxi[instrument - 1].sub[0].sid;
    return sid >= 0 && sid < m.smp && (m.xxs[sid].flg & XMP_SAMPLE_LOOP);
}

// The channel that plays the part most often, or -1.
int channel_of(const xmp_module &m, const std::vector<note_event> &notes, part which) {
    std::vector<int> count(static_cast<std::size_t>(m.chn), 0);
    for (const note_event &n : notes)
        if (part_of(m, n.instrument) == which)
            count[static_cast<std::size_t>(n.channel)]++;
    const auto most = std::max_element(count.begin(), count.end());
    return most == count.end() || *most == 0 ? -1 : static_cast<int>(most - count.begin());
}

// The share of blocks a channel sounds in over [from_s, to_s).
double sounding_share(const channel_study &c, double from_s, double to_s) {
    const std::size_t first = static_cast<std::size_t>(from_s / SOUNDING_BLOCK_S + 0.5);
    const std::size_t last =
        std::min(c.sounding.size(), static_cast<std::size_t>(to_s / SOUNDING_BLOCK_S + 0.5));
    if (last <= first)
        return 0;
    return static_cast<double>(std::count(c.sounding.begin() + static_cast<long>(first),
                                          c.sounding.begin() + static_cast<long>(last), true)) /
           static_cast<double>(last - first);
}

std::string channel_list(const std::vector<int> &channels) {
    std::string out;
    for (int ch : channels)
        out += (out.empty() ? "" : " ") + std::to_string(ch);
    return out.empty() ? "-" : out;
}

// What the report knows of the song's parts.
struct parts {
    std::vector<note_event> notes;
    std::vector<bool> melodic;  // per channel
    std::vector<double> kick_hits_s;
    int kick = 0;  // the kick's instrument, 0: none
    int bass = -1, lead = -1, echo = -1;
    double bar_s = 0;
};

parts find_parts(const std::string &file, const xmp_module &m) {
    parts p;
    p.notes = note_events(file);
    p.melodic.assign(static_cast<std::size_t>(m.chn), false);
    for (const note_event &n : p.notes) {
        if (loops(m, n.instrument))
            p.melodic[static_cast<std::size_t>(n.channel)] = true;
        if (part_of(m, n.instrument) == part::kick) {
            p.kick = n.instrument;
            p.kick_hits_s.push_back(n.at_s);
        }
    }
    p.bass = channel_of(m, p.notes, part::bass);
    p.lead = channel_of(m, p.notes, part::lead);
    p.echo = channel_of(m, p.notes, part::echo);
    p.bar_s = 16 * 2.5 * m.spd / m.bpm;
    return p;
}

void print_kick(const rendering &song, const rendering &kick, const parts &p,
                const std::vector<channel_study> &channels) {
    if (!p.kick || p.bass < 0) {
        std::printf("kick      %s\n", p.kick ? "no bass to measure it against" : "no kick");
        return;
    }
    const kick_figures k = measure_kick(
        band_energy(kick.frames, KICK_BAND_LOW_HZ, KICK_BAND_HIGH_HZ, 0.001),
        channels[static_cast<std::size_t>(p.bass)].low,
        band_energy(song.frames, KICK_BAND_LOW_HZ, KICK_BAND_HIGH_HZ, 0.001), p.kick_hits_s);
    std::printf("kick      %d hits; in each one's first %.0f ms at %.0f-%.0f Hz, median: %+.1f dB "
                "over the bass (channel %d), the mix rising %+.1f dB from the %.0f ms before\n",
                k.hits, 1000 * KICK_WINDOW_S, KICK_BAND_LOW_HZ, KICK_BAND_HIGH_HZ, k.over_bass_db,
                p.bass, k.rise_db, 1000 * KICK_WINDOW_S);
}

// Whether a bar (from 0) holds a kick; every bar does in a song without one.
bool bar_has_kick(const parts &p, int bar) {
    if (!p.kick)
        return true;
    return std::any_of(p.kick_hits_s.begin(), p.kick_hits_s.end(), [&](double t) {
        return t >= bar * p.bar_s - 0.01 && t < (bar + 1) * p.bar_s - 0.01;
    });
}

// The melodic channels sounding for most of each group of eight bars, and the
// ones that come in or go out where one group meets the next. A boundary
// next to a bar without a kick lies in the break and does not count.
void print_layers(const rendering &song, const parts &p,
                  const std::vector<channel_study> &channels) {
    const double group_s = 8 * p.bar_s;
    const int groups = static_cast<int>(std::ceil(song.duration_s / group_s - 0.01));
    if (groups < 2) {
        std::printf("layers    shorter than two groups of eight bars\n");
        return;
    }
    std::vector<std::vector<int>> playing(static_cast<std::size_t>(groups));
    for (int g = 0; g < groups; g++) {
        const double to = std::min(song.duration_s, (g + 1) * group_s);
        for (std::size_t ch = 0; ch < channels.size(); ch++)
            if (p.melodic[ch] && sounding_share(channels[ch], g * group_s, to) >= 0.5)
                playing[static_cast<std::size_t>(g)].push_back(static_cast<int>(ch));
    }
    std::printf("layers    melodic channels sounding for most of each 8 bars (%.2f s):\n", group_s);
    int counted = 0, moving = 0;
    for (int g = 0; g < groups; g++) {
        const auto &now = playing[static_cast<std::size_t>(g)];
        std::printf("          bar %3d at %6.2f s: %-24s", 8 * g + 1, g * group_s,
                    channel_list(now).c_str());
        if (g > 0) {
            const auto &before = playing[static_cast<std::size_t>(g - 1)];
            std::vector<int> in, out;
            std::set_difference(now.begin(), now.end(), before.begin(), before.end(),
                                std::back_inserter(in));
            std::set_difference(before.begin(), before.end(), now.begin(), now.end(),
                                std::back_inserter(out));
            const bool in_break = !bar_has_kick(p, 8 * g - 1) || !bar_has_kick(p, 8 * g);
            counted += !in_break;
            moving += !in_break && (!in.empty() || !out.empty());
            std::printf(" in %s, out %s%s", channel_list(in).c_str(), channel_list(out).c_str(),
                        in_break ? " (break)" : "");
        }
        std::printf("\n");
    }
    std::printf(
        "          %d of %d boundaries outside the break bring a layer in or out (%.0f%%)\n",
        moving, counted, counted ? 100.0 * moving / counted : 0.0);
}

void print_steps(const rendering &song) {
    const std::vector<double> lufs = loudness_lufs(song.frames, MIX_WINDOW_S);
    const double STEP_LU = 1.5;
    int steps = 0;
    std::printf("steps     of %.1f LU or more between neighbouring %.1f s windows:", STEP_LU,
                MIX_WINDOW_S);
    for (std::size_t i = 1; i < lufs.size(); i++) {
        const double step = lufs[i] - lufs[i - 1];
        if (std::isfinite(step) && std::fabs(step) >= STEP_LU) {
            std::printf(" %.1f s %+.1f;", MIX_WINDOW_S * static_cast<double>(i), step);
            steps++;
        }
    }
    std::printf(" %d in all\n", steps);
}

// Per window where the lead sounds for most of it: its loudness over each
// other melodic part's, the least of them, and its echo's. A part under
// broadcast loudness's absolute gate in a window does not play there (a
// silent rendering can read some thousands of LU down rather than -infinity).
constexpr double SILENT_LUFS = -70;

void print_lead(const parts &p, const std::vector<channel_study> &channels) {
    if (p.lead < 0) {
        std::printf("lead      no lead\n");
        return;
    }
    const channel_study &lead = channels[static_cast<std::size_t>(p.lead)];
    const double FRONT_LU = 3;
    int windows = 0, in_front = 0;
    double least = HUGE_VAL, least_echo = HUGE_VAL, most_echo = -HUGE_VAL;
    std::printf("lead      channel %d, per %.1f s window it sounds in: the least margin over "
                "another melodic part%s\n",
                p.lead, MIX_WINDOW_S, p.echo >= 0 ? ", and over its echo" : "");
    for (std::size_t w = 0; w < lead.lufs.size(); w++) {
        const double from = MIX_WINDOW_S * static_cast<double>(w);
        if (sounding_share(lead, from, from + MIX_WINDOW_S) < 0.5)
            continue;
        double margin = HUGE_VAL;
        int under = -1;
        for (std::size_t ch = 0; ch < channels.size(); ch++) {
            if (!p.melodic[ch] || static_cast<int>(ch) == p.lead || w >= channels[ch].lufs.size())
                continue;
            const double m = lead.lufs[w] - channels[ch].lufs[w];
            if (std::isfinite(m) && m < margin && channels[ch].lufs[w] > SILENT_LUFS) {
                margin = m;
                under = static_cast<int>(ch);
            }
        }
        windows++;
        in_front += margin >= FRONT_LU;
        least = std::min(least, margin);
        std::printf("          at %6.1f s %6.1f LUFS: %+5.1f LU over channel %d", from,
                    lead.lufs[w], margin, under);
        if (p.echo >= 0 && w < channels[static_cast<std::size_t>(p.echo)].lufs.size()) {
            const double echo_lufs = channels[static_cast<std::size_t>(p.echo)].lufs[w];
            const double e = lead.lufs[w] - echo_lufs;
            if (std::isfinite(e) && echo_lufs > SILENT_LUFS) {
                std::printf(", %+5.1f LU over its echo", e);
                least_echo = std::min(least_echo, e);
                most_echo = std::max(most_echo, e);
            }
        }
        std::printf("\n");
    }
    std::printf("          %d of %d windows with the lead %.0f LU or more over every other "
                "melodic part\n",
                in_front, windows, FRONT_LU);
    if (p.echo < 0)
        return;
    const channel_study &echo = channels[static_cast<std::size_t>(p.echo)];
    const double l = std::sqrt(echo.left), r = std::sqrt(echo.right);
    std::printf("echo      channel %d, pan %+.0f as heard", p.echo,
                l + r > 0 ? 128 * (r - l) / (r + l) : 0.0);
    if (std::isfinite(least_echo))
        std::printf(", %.1f to %.1f LU under the lead", least_echo, most_echo);
    std::printf("\n");
}

// Octave bands of the whole song, each against the loudest.
void print_octaves(const rendering &song) {
    const double CENTRES[] = {31.5, 63, 125, 250, 500, 1000, 2000, 4000, 8000, 16000};
    const char *NAMES[] = {"31", "63", "125", "250", "500", "1k", "2k", "4k", "8k", "16k"};
    std::vector<double> edges;
    for (double c : CENTRES)
        edges.push_back(c / std::numbers::sqrt2);
    const std::vector<double> shares = band_shares(song.frames, edges);
    const auto loudest = std::max_element(shares.begin(), shares.end());
    if (*loudest <= 0)
        return;
    std::printf("octaves   dB against the loudest (%s):", NAMES[loudest - shares.begin()]);
    for (std::size_t b = 0; b < shares.size(); b++)
        std::printf("  %s %.1f", NAMES[b], shares[b] > 0 ? db(shares[b] / *loudest) : -99.0);
    std::printf("\n");
}

double stretch_lufs(const rendering &song, double from_s, double to_s) {
    const std::size_t first = static_cast<std::size_t>(from_s * LISTEN_RATE) * 2;
    const std::size_t last =
        std::min(song.frames.size(), static_cast<std::size_t>(to_s * LISTEN_RATE) * 2);
    const std::vector<float> part(song.frames.begin() + static_cast<long>(first),
                                  song.frames.begin() + static_cast<long>(last));
    const std::vector<double> l = loudness_lufs(part, to_s - from_s);
    return l.empty() ? -HUGE_VAL : l[0];
}

// The half window before the song's end against the half window from where
// it comes round again, and what plays on the restart's first row.
void print_seam(const rendering &song, const xmp_module &m, const parts &p) {
    const double HALF_S = MIX_WINDOW_S / 2;
    if (song.loop_s < 0 || song.duration_s - song.loop_s < 2 * HALF_S) {
        std::printf("seam      the loop is too short to measure\n");
        return;
    }
    const double before = stretch_lufs(song, song.duration_s - HALF_S, song.duration_s);
    const double after = stretch_lufs(song, song.loop_s, song.loop_s + HALF_S);
    std::string restart;
    for (const note_event &n : p.notes)
        if (std::fabs(n.at_s - song.loop_s) < 0.002 && n.instrument <= m.ins)
            restart += (restart.empty() ? "" : ", ") + std::string(m.xxi[n.instrument - 1].name);
    std::printf("seam      last %.2f s %.1f LUFS, first %.2f s after the restart %.1f LUFS: "
                "%.1f LU apart; the restart plays %s\n",
                HALF_S, before, HALF_S, after, std::fabs(before - after),
                restart.empty() ? "nothing new" : restart.c_str());
}

}  // namespace

channel_study study_channel(const std::vector<float> &frames) {
    channel_study c;
    c.lufs = loudness_lufs(frames, MIX_WINDOW_S);
    c.low = band_energy(frames, KICK_BAND_LOW_HZ, KICK_BAND_HIGH_HZ, 0.001);
    const std::size_t block = static_cast<std::size_t>(SOUNDING_BLOCK_S * LISTEN_RATE);
    const double floor = std::pow(10.0, SOUNDING_FLOOR_DB / 10);
    const std::size_t count = frames.size() / 2;
    for (std::size_t start = 0; start + block <= count; start += block) {
        double sum = 0;
        for (std::size_t i = 2 * start; i < 2 * (start + block); i++)
            sum += static_cast<double>(frames[i]) * frames[i];
        c.sounding.push_back(sum / static_cast<double>(2 * block) > floor);
    }
    for (std::size_t i = 0; i < count; i++) {
        c.left += static_cast<double>(frames[2 * i]) * frames[2 * i];
        c.right += static_cast<double>(frames[2 * i + 1]) * frames[2 * i + 1];
    }
    if (count > 0) {
        c.left /= static_cast<double>(count);
        c.right /= static_cast<double>(count);
    }
    return c;
}

std::vector<double> band_energy(const std::vector<float> &frames, double lo_hz, double hi_hz,
                                double block_s, int rate) {
    biquad filters[] = {pass_filter(lo_hz, rate, true), pass_filter(lo_hz, rate, true),
                        pass_filter(hi_hz, rate, false), pass_filter(hi_hz, rate, false)};
    // Blocks end on the frame nearest their time, so they keep in step with the clock.
    std::vector<double> out;
    double sum = 0;
    std::size_t end =
        std::max<std::size_t>(1, static_cast<std::size_t>(std::lround(block_s * rate)));
    const std::size_t count = frames.size() / 2;
    for (std::size_t i = 0; i < count; i++) {
        double x = (frames[2 * i] + frames[2 * i + 1]) / 2.0;
        for (biquad &f : filters)
            x = f.run(x);
        sum += x * x;
        if (i + 1 == end) {
            out.push_back(sum);
            sum = 0;
            end = std::max(end + 1, static_cast<std::size_t>(std::lround(
                                        static_cast<double>(out.size() + 1) * block_s * rate)));
        }
    }
    return out;
}

std::vector<note_event> note_events(const std::string &file) {
    std::vector<note_event> out;
    player p(file, LISTEN_RATE, 0);
    if (!p.started)
        return out;
    const xmp_module &m = *p.info.mod;
    std::vector<int> instrument(static_cast<std::size_t>(m.chn), 0);
    std::size_t frames = 0;
    xmp_frame_info fi;
    while (xmp_play_frame(p.ctx) == 0) {
        xmp_get_frame_info(p.ctx, &fi);
        if (fi.loop_count > 0 || frames > MAX_SONG_S * LISTEN_RATE)
            break;
        for (int ch = 0; fi.frame == 0 && ch < m.chn; ch++) {
            const xmp_event &e = fi.channel_info[ch].event;
            int &ins = instrument[static_cast<std::size_t>(ch)];
            if (e.ins > 0)
                ins = e.ins;
            if (e.note > 0 && e.note <= XMP_MAX_KEYS && ins > 0)
                out.push_back({static_cast<double>(frames) / LISTEN_RATE, ch, ins, e.note});
        }
        frames += static_cast<std::size_t>(fi.buffer_size) / 4;
    }
    return out;
}

kick_figures measure_kick(const std::vector<double> &kick_low, const std::vector<double> &bass_low,
                          const std::vector<double> &mix_low, const std::vector<double> &hits_s) {
    const long window = std::lround(KICK_WINDOW_S * 1000);
    const double TINY = 1e-12, CAP_DB = 60;
    std::vector<double> over, rise;
    for (double t : hits_s) {
        const long at = std::lround(t * 1000);
        const double kick = sum_of(kick_low, at, at + window) + TINY;
        const double bass = sum_of(bass_low, at, at + window) + TINY;
        over.push_back(std::clamp(db(kick / bass), -CAP_DB, CAP_DB));
        const double after = sum_of(mix_low, at, at + window) + TINY;
        const double before = sum_of(mix_low, at - window, at) + TINY;
        rise.push_back(std::clamp(db(after / before), -CAP_DB, CAP_DB));
    }
    return {static_cast<int>(hits_s.size()), median(over), median(rise)};
}

void print_mix(const std::string &file, const xmp_module &m, const rendering &song,
               const std::vector<channel_study> &channels) {
    const parts p = find_parts(file, m);
    const rendering kick = p.kick ? render_song(file, -1, p.kick) : rendering{};
    print_kick(song, kick, p, channels);
    print_layers(song, p, channels);
    print_steps(song);
    print_lead(p, channels);
    print_octaves(song);
    print_seam(song, m, p);
    print_arrangement(m, song, kick, p.notes, channels);
}
