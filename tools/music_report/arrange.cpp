// The arrangement block of the music report (see arrange.h).
#include "arrange.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>

namespace {

const char *PITCH_NAMES[] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};

std::string lower_name(const xmp_module &m, int instrument) {
    if (instrument < 1 || instrument > m.ins)
        return "";
    std::string s = m.xxi[instrument - 1].name;
    for (char &c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool has(const std::string &name, const char *word) { return name.find(word) != std::string::npos; }

// The channel that plays instruments whose names `fits` most often, or -1.
template <typename F>
int channel_playing(const xmp_module &m, const std::vector<note_event> &notes, F fits) {
    std::vector<int> count(static_cast<std::size_t>(m.chn), 0);
    for (const note_event &n : notes)
        if (fits(lower_name(m, n.instrument)))
            count[static_cast<std::size_t>(n.channel)]++;
    const auto most = std::max_element(count.begin(), count.end());
    return most == count.end() || *most == 0 ? -1 : static_cast<int>(most - count.begin());
}

bool is_lead(const std::string &n) { return has(n, "lead") && !has(n, "echo"); }

// "A", or "E-A" for a bar whose halves differ, "-" without bass.
std::string bar_roots(const std::vector<int> &roots, int bar) {
    const int a = roots[2 * static_cast<std::size_t>(bar)];
    const int b = roots[2 * static_cast<std::size_t>(bar) + 1];
    if (a < 0 && b < 0)
        return "-";
    if (a < 0 || b < 0 || a == b)
        return PITCH_NAMES[a < 0 ? b : a];
    return std::string(PITCH_NAMES[a]) + "-" + PITCH_NAMES[b];
}

// The root of the last half bar before `half` that has one, or -1.
int root_before(const std::vector<int> &roots, int half) {
    for (int h = half - 1; h >= 0; h--)
        if (roots[static_cast<std::size_t>(h)] >= 0)
            return roots[static_cast<std::size_t>(h)];
    return -1;
}

int first_root(const std::vector<int> &roots, int bar) {
    const int a = roots[2 * static_cast<std::size_t>(bar)];
    return a >= 0 ? a : roots[2 * static_cast<std::size_t>(bar) + 1];
}

struct beat_clock {
    double beat_s;
    int at(double t) const { return static_cast<int>(std::lround(t / beat_s)); }
};

// The drop: the first kick on a downbeat after the kick has stopped for two
// beats or more, once it has played for a bar. Its first beat against the
// beat before, and the quietest of the four beats before.
void print_drop(const song_bars &s, const rendering &song, const std::vector<double> &kicks,
                int &drop_bar) {
    const beat_clock beats{s.bar_s / 4};
    drop_bar = -1;
    for (std::size_t i = 1; i < kicks.size() && drop_bar < 0; i++) {
        const int beat = beats.at(kicks[i]);
        if (kicks[i] - kicks[0] >= s.bar_s - 0.01 && beat % 4 == 0 &&
            kicks[i] - kicks[i - 1] >= 2 * beats.beat_s - 0.01)
            drop_bar = beat / 4;
    }
    if (drop_bar < 0) {
        std::printf("drop      none: the kick never stops for two beats and comes back\n");
        return;
    }
    const std::vector<double> lufs = loudness_lufs(song.frames, beats.beat_s);
    const int first = 4 * drop_bar;
    if (first < 4 || first >= static_cast<int>(lufs.size()))
        return;
    double quiet = HUGE_VAL;
    int quiet_at = first - 1;
    for (int b = first - 4; b < first; b++)
        if (lufs[static_cast<std::size_t>(b)] < quiet)
            quiet = lufs[static_cast<std::size_t>(quiet_at = b)];
    const double at = lufs[static_cast<std::size_t>(first)];
    std::printf("drop      bar %d at %.2f s (the kick back after stopping): its first beat "
                "%.1f LUFS, %+.1f LU over the beat before; the quietest of the 4 beats before "
                "(at %.2f s) %.1f dB under it\n",
                drop_bar + 1, first * beats.beat_s, at,
                at - lufs[static_cast<std::size_t>(first - 1)], quiet_at * beats.beat_s,
                std::isfinite(quiet) ? at - quiet : 99.0);
}

// The longest run of bars without a kick after the drop: the break.
void print_climb(const song_bars &s, const rendering &song,
                 const std::vector<channel_study> &channels, int drop_bar) {
    int best_from = -1, best_len = 0;
    for (int b = std::max(drop_bar, 0); b < static_cast<int>(s.bars.size());) {
        int e = b;
        while (e < static_cast<int>(s.bars.size()) &&
               s.bars[static_cast<std::size_t>(e)].kick.empty())
            e++;
        if (e - b > best_len) {
            best_len = e - b;
            best_from = b;
        }
        b = e + 1;
    }
    if (best_len < 2 || best_from + best_len >= static_cast<int>(s.bars.size())) {
        std::printf("climb     no break of two bars or more without the kick\n");
        return;
    }
    const std::vector<double> lufs = loudness_lufs(song.frames, MIX_WINDOW_S);
    const double from_s = best_from * s.bar_s, to_s = (best_from + best_len) * s.bar_s;
    int before = -1, after = -1;
    for (int w = 0; w < static_cast<int>(lufs.size()); w++) {
        const std::size_t i = static_cast<std::size_t>(w);
        if ((w + 1) * MIX_WINDOW_S <= from_s + 0.01 &&
            (before < 0 || lufs[i] > lufs[static_cast<std::size_t>(before)]))
            before = w;
        if (w * MIX_WINDOW_S >= to_s - 0.01 &&
            (after < 0 || lufs[i] > lufs[static_cast<std::size_t>(after)]))
            after = w;
    }
    if (before < 0 || after < 0)
        return;
    auto parts_in = [&](int w) {
        int n = 0;
        for (const channel_study &c : channels) {
            const std::size_t a =
                static_cast<std::size_t>(w * MIX_WINDOW_S / SOUNDING_BLOCK_S + 0.5);
            const std::size_t e =
                std::min(c.sounding.size(),
                         a + static_cast<std::size_t>(MIX_WINDOW_S / SOUNDING_BLOCK_S + 0.5));
            n += e > a && 2 * std::count(c.sounding.begin() + static_cast<long>(a),
                                         c.sounding.begin() + static_cast<long>(e), true) >=
                              static_cast<long>(e - a);
        }
        return n;
    };
    std::printf("climb     break bars %d-%d (%.2f-%.2f s); loudest %.1f s window before it at "
                "%.1f s %.1f LUFS with %d parts, after it at %.1f s %.1f LUFS with %d parts: "
                "%+.1f LU\n",
                best_from + 1, best_from + best_len, from_s, to_s, MIX_WINDOW_S,
                before * MIX_WINDOW_S, lufs[static_cast<std::size_t>(before)], parts_in(before),
                after * MIX_WINDOW_S, lufs[static_cast<std::size_t>(after)], parts_in(after),
                lufs[static_cast<std::size_t>(after)] - lufs[static_cast<std::size_t>(before)]);
}

// The kick as a small speaker plays it: its share above 1 kHz, and in each
// hit's first 40 ms its 150-400 Hz band against the rest of the mix's, on
// beats 1 and 3, on beats 2 and 4, and off the beat.
void print_small_speaker(const song_bars &s, const rendering &song, const rendering &kick,
                         const std::vector<double> &kicks) {
    if (kick.frames.empty() || kicks.empty())
        return;
    const std::vector<double> high = band_shares(kick.frames, {0, 1000});
    std::vector<float> rest(song.frames.size());
    for (std::size_t i = 0; i < rest.size(); i++)
        rest[i] = song.frames[i] - (i < kick.frames.size() ? kick.frames[i] : 0.0f);
    const std::vector<double> k = band_energy(kick.frames, 150, 400, 0.001);
    const std::vector<double> r = band_energy(rest, 150, 400, 0.001);
    std::vector<double> on[3];  // beats 1 and 3, beats 2 and 4, off the beat
    const double row_s = s.bar_s / BAR_ROWS;
    for (double t : kicks) {
        const long at = std::lround(t * 1000);
        const int row = static_cast<int>(std::lround(t / row_s)) % BAR_ROWS;
        const double d =
            10 * std::log10((sum_of(k, at, at + 40) + 1e-12) / (sum_of(r, at, at + 40) + 1e-12));
        on[row % BEAT_ROWS         ? 2
           : row % (2 * BEAT_ROWS) ? 1
                                   : 0]
            .push_back(std::clamp(d, -60.0, 60.0));
    }
    std::printf("kick top  %.1f%% of the kick's energy above 1 kHz; in each hit's first 40 ms at "
                "150-400 Hz over the rest of the mix, median: beats 1 and 3 %+.1f dB (%zu), "
                "beats 2 and 4 %+.1f dB (%zu), off the beat %+.1f dB (%zu)\n",
                100 * high[1], median(on[0]), on[0].size(), median(on[1]), on[1].size(),
                median(on[2]), on[2].size());
}

void print_harmony(const song_bars &s, int drop_bar) {
    const harmony_figures h = measure_harmony(s.roots);
    if (h.bars_with_bass == 0) {
        std::printf("harmony   no bass\n");
        return;
    }
    std::printf("harmony   %d bars with bass, %d with two roots; ", h.bars_with_bass, h.two_chords);
    if (h.first_bar < 0)
        std::printf("no four bars in a row with bass\n");
    else {
        std::printf("the commonest four-bar sequence of its roots (transposed or not), first");
        for (int b = h.first_bar; b < h.first_bar + 4; b++)
            std::printf(" %s", bar_roots(s.roots, b).c_str());
        std::printf(" at bar %d, covers %d bars (%.0f%%)\n", h.first_bar + 1, h.covered,
                    100.0 * h.covered / h.bars_with_bass);
    }
    // The hook: the lead's first bar from the drop on; a return is a later bar
    // opening with its first three intervals, eight bars or more after the last.
    int hook = -1;
    for (int b = std::max(drop_bar, 0); b < static_cast<int>(s.bars.size()) && hook < 0; b++)
        if (s.bars[static_cast<std::size_t>(b)].lead.size() >= 3)
            hook = b;
    if (hook < 0)
        return;
    auto head = [&](int b) {
        const auto &l = s.bars[static_cast<std::size_t>(b)].lead;
        return std::vector<int>{l[1].second - l[0].second, l[2].second - l[0].second};
    };
    std::printf("          hook at bar %d; returns:", hook + 1);
    int last = hook, returns = 0, dominant = 0;
    for (int b = hook + 1; b < static_cast<int>(s.bars.size()); b++) {
        if (s.bars[static_cast<std::size_t>(b)].lead.size() < 3 || b - last < 8 ||
            head(b) != head(hook))
            continue;
        last = b;
        const int before = root_before(s.roots, 2 * b), now = first_root(s.roots, b);
        const bool v = before >= 0 && now >= 0 && (before - now + 12) % 12 == 7;
        std::printf(" bar %d over %s after %s%s;", b + 1, now >= 0 ? PITCH_NAMES[now] : "-",
                    before >= 0 ? PITCH_NAMES[before] : "-", v ? " (a fifth above: dominant)" : "");
        returns++;
        dominant += v;
    }
    std::printf(" %d of %d after a dominant\n", dominant, returns);
}

void print_lead(const song_bars &s, const std::vector<channel_study> &channels) {
    if (s.lead < 0)
        return;
    const channel_study &c = channels[static_cast<std::size_t>(s.lead)];
    std::vector<bool> sounding;
    const double per_bar = s.bar_s / SOUNDING_BLOCK_S;
    for (std::size_t b = 0; b < s.bars.size(); b++) {
        const std::size_t a = static_cast<std::size_t>(static_cast<double>(b) * per_bar + 0.5);
        const std::size_t e =
            std::min(c.sounding.size(),
                     static_cast<std::size_t>(static_cast<double>(b + 1) * per_bar + 0.5));
        sounding.push_back(e > a &&
                           2 * std::count(c.sounding.begin() + static_cast<long>(a),
                                          c.sounding.begin() + static_cast<long>(e), true) >=
                               static_cast<long>(e - a));
    }
    const lead_figures l = measure_lead(s, sounding);
    std::printf(
        "lead bars %d sounding; of %d striking a note, %d repeat an earlier bar (transposed "
        "or not), %d start after the downbeat (%.0f%%); longest run without a bar of rest "
        "%d; %d of %d rests answered by another voice\n",
        l.bars, l.striking, l.repeats, l.late, l.striking ? 100.0 * l.late / l.striking : 0.0,
        l.longest_run, l.answered, l.rests);
}

// Kick and snare bar by bar: plain four on the floor, the commonest pattern,
// half-time bars (snare on beat 3 alone) and broken ones (a beat without
// kick, a kick off the beat), stops (no kick or snare for over two beats, up
// to two bars) and fills (four or more snare or tom hits in the last two
// beats, more than the bar before) in the two bars before each 8-bar boundary.
void print_stops(std::vector<double> hits, double bar_s);
void print_fills(const song_bars &s);
void print_groove(const song_bars &s) {
    int kicked = 0, plain = 0, half = 0, broken = 0;
    std::map<std::pair<std::vector<int>, std::vector<int>>, int> count;
    std::vector<double> hits;
    const double row_s = s.bar_s / BAR_ROWS;
    for (std::size_t b = 0; b < s.bars.size(); b++) {
        const bar_notes &n = s.bars[b];
        for (int r : n.kick)
            hits.push_back((static_cast<double>(b) * BAR_ROWS + r) * row_s);
        for (int r : n.snare)
            hits.push_back((static_cast<double>(b) * BAR_ROWS + r) * row_s);
        if (n.kick.empty())
            continue;
        kicked++;
        plain += n.kick == std::vector<int>{0, 4, 8, 12};
        count[{n.kick, n.snare}]++;
        const auto on = [&](const std::vector<int> &v, int r) {
            return std::count(v.begin(), v.end(), r) > 0;
        };
        half += on(n.snare, 8) && !on(n.snare, 4) && !on(n.snare, 12);
        const bool missing = !on(n.kick, 0) || !on(n.kick, 4) || !on(n.kick, 8) || !on(n.kick, 12);
        broken += missing && std::any_of(n.kick.begin(), n.kick.end(),
                                         [](int r) { return r % BEAT_ROWS != 0; });
    }
    if (kicked == 0) {
        std::printf("groove    no kick\n");
        return;
    }
    int most = 0;
    for (const auto &[key, n] : count)
        most = std::max(most, n);
    std::printf("groove    %d kicked bars: plain four on the floor %d (%.0f%%); the commonest kick "
                "and snare bar %d (%.0f%%); half-time %d, broken %d\n",
                kicked, plain, 100.0 * plain / kicked, most, 100.0 * most / kicked, half, broken);
    print_stops(hits, s.bar_s);
    print_fills(s);
}

// The stops: gaps between kick or snare hits (seconds into the song) of over
// two beats and up to two bars.
void print_stops(std::vector<double> hits, double bar_s) {
    const double row_s = bar_s / BAR_ROWS;
    std::sort(hits.begin(), hits.end());
    std::printf("          stops:");
    int stops = 0;
    for (std::size_t i = 1; i < hits.size(); i++) {
        const double gap = hits[i] - hits[i - 1];
        if (gap > 2 * BEAT_ROWS * row_s + 0.01 && gap <= 2 * bar_s + 0.01) {
            std::printf(" %.2f s for %.2f s;", hits[i - 1], gap);
            stops++;
        }
    }
    std::printf(" %d in all\n", stops);
}

// The fills in the two bars before each 8-bar boundary and the song's end.
void print_fills(const song_bars &s) {
    auto fill = [&](int b) {
        auto late = [&](int k) {
            if (k < 0)
                return 0L;
            const bar_notes &n = s.bars[static_cast<std::size_t>(k)];
            return std::count_if(n.snare.begin(), n.snare.end(), [](int r) { return r >= 8; }) +
                   std::count_if(n.toms.begin(), n.toms.end(), [](int r) { return r >= 8; });
        };
        return b >= 0 && late(b) >= 4 && late(b) > late(b - 1);
    };
    std::vector<int> ends;  // bars that end before a boundary, and the last
    for (int b = 8; b < static_cast<int>(s.bars.size()); b += 8)
        ends.push_back(b);
    ends.push_back(static_cast<int>(s.bars.size()));
    std::string missing;
    int filled = 0;
    for (int at : ends) {
        if (fill(at - 1) || fill(at - 2))
            filled++;
        else
            missing += " " + std::to_string(at + 1);
    }
    std::printf("          fills before %d of %zu eight-bar boundaries (the song's end among "
                "them)%s%s\n",
                filled, ends.size(), missing.empty() ? "" : "; none before bars", missing.c_str());
}

// Channels that strike a looped (held) instrument somewhere in the song.
std::vector<bool> melodic_channels(const xmp_module &m, const std::vector<note_event> &notes) {
    std::vector<bool> melodic(static_cast<std::size_t>(m.chn), false);
    for (const note_event &n : notes) {
        const int sm = n.instrument >= 1 && n.instrument <= m.ins && m.xxi[n.instrument - 1].nsm > 0
                           ? m.xxi[n.instrument - 1].sub[0].sid
                           : -1;
        if (sm >= 0 && sm < m.smp && (m.xxs[sm].flg & XMP_SAMPLE_LOOP))
            melodic[static_cast<std::size_t>(n.channel)] = true;
    }
    return melodic;
}

// Bass notes last to the next one, at most a bar; each half bar takes the
// pitch class that sounds longest in it (-1 where none sounds).
std::vector<int> bass_roots(const std::vector<const note_event *> &bass, double bar_s,
                            std::size_t bars, double duration_s) {
    std::vector<std::array<double, 12>> held(2 * bars, std::array<double, 12>{});
    for (std::size_t i = 0; i < bass.size(); i++) {
        const double from = bass[i]->at_s;
        const double to =
            std::min(i + 1 < bass.size() ? bass[i + 1]->at_s : duration_s, from + bar_s);
        for (std::size_t h = static_cast<std::size_t>(from / (bar_s / 2) + 1e-6); h < held.size();
             h++) {
            const double a = std::max(from, static_cast<double>(h) * bar_s / 2);
            const double e = std::min(to, static_cast<double>(h + 1) * bar_s / 2);
            if (e <= a)
                break;
            held[h][static_cast<std::size_t>(((bass[i]->note - 1) % 12 + 12) % 12)] += e - a;
        }
    }
    std::vector<int> roots;
    for (const auto &h : held) {
        const auto most = std::max_element(h.begin(), h.end());
        roots.push_back(*most > 0 ? static_cast<int>(most - h.begin()) : -1);
    }
    return roots;
}

}  // namespace

song_bars read_bars(const xmp_module &m, const std::vector<note_event> &notes, double duration_s) {
    song_bars s;
    s.bar_s = BAR_ROWS * 2.5 * m.spd / m.bpm;
    const double row_s = s.bar_s / BAR_ROWS;
    const int count = static_cast<int>(std::ceil(duration_s / s.bar_s - 0.01));
    s.bars.assign(static_cast<std::size_t>(std::max(count, 0)), {});
    for (bar_notes &b : s.bars)
        b.struck.assign(static_cast<std::size_t>(m.chn), 0);
    s.melodic = melodic_channels(m, notes);
    s.lead = channel_playing(m, notes, is_lead);
    s.echo = channel_playing(m, notes,
                             [](const std::string &n) { return has(n, "lead") && has(n, "echo"); });
    s.bass = channel_playing(m, notes, [](const std::string &n) { return has(n, "bass"); });
    std::vector<const note_event *> bass;
    for (const note_event &n : notes) {
        const long row = std::lround(n.at_s / row_s);
        const std::size_t bar = static_cast<std::size_t>(row / BAR_ROWS);
        if (bar >= s.bars.size())
            continue;
        bar_notes &b = s.bars[bar];
        const int r = static_cast<int>(row % BAR_ROWS);
        const std::string name = lower_name(m, n.instrument);
        b.struck[static_cast<std::size_t>(n.channel)]++;
        if (has(name, "kick"))
            b.kick.push_back(r);
        else if (has(name, "snare"))
            b.snare.push_back(r);
        else if (has(name, "tom"))
            b.toms.push_back(r);
        if (n.channel == s.lead && is_lead(name))
            b.lead.push_back({r, n.note});
        if (n.channel == s.bass)
            bass.push_back(&n);
    }
    s.roots = bass_roots(bass, s.bar_s, s.bars.size(), duration_s);
    return s;
}

harmony_figures measure_harmony(const std::vector<int> &roots) {
    harmony_figures h;
    const int bars = static_cast<int>(roots.size() / 2);
    auto with_bass = [&](int b) { return first_root(roots, b) >= 0; };
    for (int b = 0; b < bars; b++) {
        h.bars_with_bass += with_bass(b);
        const int x = roots[2 * static_cast<std::size_t>(b)],
                  y = roots[2 * static_cast<std::size_t>(b) + 1];
        h.two_chords += x >= 0 && y >= 0 && x != y;
    }
    std::map<std::vector<int>, std::set<int>> covers;
    std::map<std::vector<int>, int> first;
    for (int b = 0; b + 4 <= bars; b++) {
        if (!with_bass(b) || !with_bass(b + 1) || !with_bass(b + 2) || !with_bass(b + 3))
            continue;
        const int base = first_root(roots, b);
        std::vector<int> key;
        for (int i = 2 * b; i < 2 * b + 8; i++) {
            const int r = roots[static_cast<std::size_t>(i)];
            key.push_back(r < 0 ? -1 : (r - base + 12) % 12);
        }
        for (int i = b; i < b + 4; i++)
            covers[key].insert(i);
        first.emplace(key, b);
    }
    for (const auto &[key, set] : covers)
        if (static_cast<int>(set.size()) > h.covered ||
            (static_cast<int>(set.size()) == h.covered && first[key] < h.first_bar)) {
            h.covered = static_cast<int>(set.size());
            h.first_bar = first[key];
        }
    return h;
}

lead_figures measure_lead(const song_bars &s, const std::vector<bool> &sounding) {
    lead_figures l;
    std::set<std::vector<int>> heard;
    int run = 0;
    for (std::size_t b = 0; b < s.bars.size(); b++) {
        const auto &notes = s.bars[b].lead;
        if (!notes.empty()) {
            l.striking++;
            l.late += notes[0].first > 0;
            std::vector<int> key;
            for (const auto &[row, note] : notes)
                key.insert(key.end(), {row, note - notes[0].second});
            l.repeats += !heard.insert(key).second;
        }
        const bool on = b < sounding.size() && sounding[b];
        l.bars += on;
        if (on) {
            l.longest_run = std::max(l.longest_run, ++run);
            continue;
        }
        if (run > 0 && b > 0) {
            // A rest after a run: answered when a voice other than the lead,
            // its echo and the bass strikes notes here but none in the run's last bar.
            l.rests++;
            for (std::size_t ch = 0; ch < s.bars[b].struck.size(); ch++) {
                const int c = static_cast<int>(ch);
                if (s.melodic[ch] && c != s.lead && c != s.echo && c != s.bass &&
                    s.bars[b].struck[ch] > 0 && s.bars[b - 1].struck[ch] == 0) {
                    l.answered++;
                    break;
                }
            }
        }
        run = 0;
    }
    return l;
}

void print_arrangement(const xmp_module &m, const rendering &song, const rendering &kick,
                       const std::vector<note_event> &notes,
                       const std::vector<channel_study> &channels) {
    const song_bars s = read_bars(m, notes, song.duration_s);
    std::vector<double> kicks;
    for (const note_event &n : notes)
        if (has(lower_name(m, n.instrument), "kick"))
            kicks.push_back(n.at_s);
    int drop_bar = -1;
    print_drop(s, song, kicks, drop_bar);
    print_climb(s, song, channels, drop_bar);
    print_small_speaker(s, song, kick, kicks);
    print_harmony(s, drop_bar);
    print_lead(s, channels);
    print_groove(s);
}
