// music_report MODULE [--spectrogram FILE.png [--from S] [--to S] [--top HZ]] [--wav FILE.wav]
//
// Renders a module through libxmp at 44.1 kHz, the way the show plays it, and
// prints what a listener would want to know about it: length and loop point,
// levels for the song and each channel, stereo width, where the energy lies
// in the spectrum, how varied the channel tracks are, how many effect
// commands the patterns use, and how far each instrument sounds from its note
// when played at C-4. It can also write the rendering as a WAV file and as a
// spectrogram picture (the picture needs sox), of the whole song or of a
// stretch of it, up to a top frequency.
#include <xmp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "listen.h"

namespace {

void put_u32(std::ofstream &f, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        f.put(static_cast<char>((v >> (8 * i)) & 0xff));
}

void put_u16(std::ofstream &f, unsigned v) {
    f.put(static_cast<char>(v & 0xff));
    f.put(static_cast<char>((v >> 8) & 0xff));
}

bool write_wav(const std::string &path, const std::vector<float> &frames, size_t first,
               size_t last) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    const uint32_t bytes = static_cast<uint32_t>((last - first) * 2 * 2);
    f.write("RIFF", 4);
    put_u32(f, 36 + bytes);
    f.write("WAVEfmt ", 8);
    put_u32(f, 16);
    put_u16(f, 1);
    put_u16(f, 2);
    put_u32(f, LISTEN_RATE);
    put_u32(f, LISTEN_RATE * 4);
    put_u16(f, 4);
    put_u16(f, 16);
    f.write("data", 4);
    put_u32(f, bytes);
    for (size_t i = first * 2; i < last * 2; ++i)
        put_u16(f, static_cast<uint16_t>(static_cast<int16_t>(std::lround(frames[i] * 32767.0f))));
    return static_cast<bool>(f);
}

// Distinct channel tracks among the non-empty ones, and effect commands, over
// the patterns the order list plays (each pattern counted once), and effect
// commands as played through the order.
struct pattern_figures {
    int non_empty = 0, distinct = 0, effects = 0, effects_played = 0;
};

bool has_effect(const xmp_event &e) { return e.fxt || e.fxp || e.f2t || e.f2p; }

pattern_figures count_patterns(const xmp_module &m) {
    pattern_figures out;
    std::set<int> patterns;
    std::set<std::vector<int>> tracks;
    for (int i = 0; i < m.len; ++i) {
        const int p = m.xxo[i];
        const xmp_pattern &pat = *m.xxp[p];
        for (int ch = 0; ch < m.chn; ++ch) {
            const xmp_track &t = *m.xxt[pat.index[ch]];
            std::vector<int> key;
            bool empty = true;
            int effects = 0;
            for (int r = 0; r < pat.rows; ++r) {
                const xmp_event &e = t.event[r];
                key.insert(key.end(), {e.note, e.ins, e.vol, e.fxt, e.fxp, e.f2t, e.f2p});
                empty = empty && !e.note && !e.ins && !e.vol && !has_effect(e);
                effects += has_effect(e);
            }
            out.effects_played += effects;
            if (patterns.count(p))
                continue;
            out.effects += effects;
            if (empty)
                continue;
            ++out.non_empty;
            tracks.insert(key);
        }
        patterns.insert(p);
    }
    out.distinct = static_cast<int>(tracks.size());
    return out;
}

// Mean of the part of a sample that plays on: the loop of a looped sample, else all of it.
double sample_mean(const xmp_sample &s) {
    if (!s.data || s.len <= 0)
        return 0;
    const bool loop = (s.flg & XMP_SAMPLE_LOOP) && s.lpe > s.lps;
    const int from = loop ? s.lps : 0, to = loop ? s.lpe : s.len;
    double sum = 0;
    for (int i = from; i < to; ++i)
        sum += (s.flg & XMP_SAMPLE_16BIT) ? reinterpret_cast<const int16_t *>(s.data)[i] / 32768.0
                                          : reinterpret_cast<const int8_t *>(s.data)[i] / 128.0;
    return sum / (to - from);
}

void print_level(const char *what, const level &l) {
    std::printf("%-10s peak %8s  rms %8s  dc %+.4f  clipped %ld", what, to_db(l.peak).c_str(),
                to_db(l.rms).c_str(), l.dc, l.clipped);
}

// Each band's share, named by its edges: "<60 12.0%  60-250 30.1% ... >6k 1.0%".
void print_bands(const std::vector<float> &frames, const std::vector<double> &edges) {
    const std::vector<double> shares = band_shares(frames, edges);
    auto hz = [](double f) {
        return f >= 1000 ? std::to_string(static_cast<int>(f / 1000)) + "k"
                         : std::to_string(static_cast<int>(f));
    };
    for (std::size_t b = 0; b < edges.size(); b++) {
        const std::string name = b == 0                  ? "<" + hz(edges[1])
                                 : b + 1 == edges.size() ? ">" + hz(edges[b])
                                                         : hz(edges[b]) + "-" + hz(edges[b + 1]);
        std::printf("%s%s %.1f%%", b ? "  " : "", name.c_str(), 100 * shares[b]);
    }
}

// The loudness of each 7.5 s of the song, and how far apart its loudest and quietest lie.
void print_loudness(const rendering &song) {
    const double WINDOW_S = 7.5;
    const std::vector<double> lufs = loudness_lufs(song.frames, WINDOW_S);
    if (lufs.empty())
        return;
    std::printf("loudness  LUFS per %.1f s:", WINDOW_S);
    for (std::size_t i = 0; i < lufs.size(); i++)
        std::printf("%s %.1f", i % 10 == 0 && i ? "\n                         " : "", lufs[i]);
    const auto [quiet, loud] = std::minmax_element(lufs.begin(), lufs.end());
    std::printf("\n          spread %.1f LU: quietest at %.1f s, loudest at %.1f s\n",
                *loud - *quiet, WINDOW_S * static_cast<double>(quiet - lufs.begin()),
                WINDOW_S * static_cast<double>(loud - lufs.begin()));
}

// Each channel that plays pitched notes: how long it sounds off its written note.
void print_pitch(const std::string &file) {
    const double LIMIT_CENTS = 40;
    const std::vector<channel_pitch> channels = off_pitch(file, LIMIT_CENTS);
    for (std::size_t ch = 0; ch < channels.size(); ch++) {
        const channel_pitch &c = channels[ch];
        if (c.pitched_s <= 0)
            continue;
        std::printf("pitch     channel %zu: %.1f s of %.1f s pitched more than %.0f cents off the "
                    "written note\n",
                    ch, c.off_s, c.pitched_s, LIMIT_CENTS);
        for (const off_pitch_stretch &s : c.longest)
            std::printf(
                "            at %6.2f s for %.2f s: %s %+.0f cents at most, %+.0f at the end\n",
                s.at_s, s.length_s, note_name(s.note).c_str(), s.cents, s.end_cents);
    }
}

// Each hit (an instrument whose sample does not loop), played alone at C-4
// with its envelope: where its energy lies.
void print_hits(const std::string &file, const xmp_module &m) {
    for (int i = 0; i < m.ins; i++) {
        const xmp_instrument &ins = m.xxi[i];
        if (ins.nsm < 1 || (m.xxs[ins.sub[0].sid].flg & XMP_SAMPLE_LOOP))
            continue;
        const rendering hit = render_instrument(file, i + 1, 2.0, true);
        std::printf("hit %02X %-18s ", i + 1, ins.name);
        print_bands(hit.frames, HIT_BANDS);
        std::printf("\n");
    }
}

int usage() {
    std::fprintf(
        stderr,
        "usage: music_report MODULE [--spectrogram FILE.png [--from S] [--to S] [--top HZ]] [--wav FILE.wav]\n");
    return 2;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2)
        return usage();
    const std::string file = argv[1];
    std::string png, wav;
    double from = 0, to = -1, top = 0;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (i + 1 >= argc)
            return usage();
        if (a == "--spectrogram")
            png = argv[++i];
        else if (a == "--wav")
            wav = argv[++i];
        else if (a == "--from")
            from = std::atof(argv[++i]);
        else if (a == "--to")
            to = std::atof(argv[++i]);
        else if (a == "--top")
            top = std::atof(argv[++i]);
        else
            return usage();
    }

    xmp_context ctx = xmp_create_context();
    if (xmp_load_module(ctx, file.c_str()) != 0) {
        std::fprintf(stderr, "%s: libxmp cannot load it\n", file.c_str());
        return 1;
    }
    xmp_module_info info;
    xmp_get_module_info(ctx, &info);
    const xmp_module &m = *info.mod;

    const rendering song = render_song(file);
    std::printf("%s: \"%s\", %d channels, %d orders, %d BPM, speed %d\n", file.c_str(), m.name,
                m.chn, m.len, m.bpm, m.spd);
    std::printf("duration  %.2f s, loops to position %d", song.duration_s, m.rst);
    if (song.loop_s >= 0)
        std::printf(" at %.2f s (%.2f s before the loop)", song.loop_s,
                    song.duration_s - song.loop_s);
    std::printf("\n");
    print_level("song", measure_level(song.frames));
    std::printf("\n");
    const double width = stereo_width_db(song.frames);
    if (width > -100)
        std::printf("width     side %.1f dB against mid\n", width);
    else
        std::printf("width     mono: no side at all\n");
    std::printf("bands     ");
    print_bands(song.frames, MIX_BANDS);
    std::printf("\n");
    print_loudness(song);
    const pattern_figures pf = count_patterns(m);
    std::printf("tracks    %d distinct of %d non-empty channel tracks (%.0f%%)\n", pf.distinct,
                pf.non_empty, pf.non_empty ? 100.0 * pf.distinct / pf.non_empty : 0.0);
    std::printf("effects   %d commands in the patterns, %d as played\n", pf.effects,
                pf.effects_played);

    for (int ch = 0; ch < m.chn; ++ch) {
        const rendering solo = render_song(file, ch);
        char what[24];
        std::snprintf(what, sizeof what, "channel %d", ch);
        print_level(what, measure_level(solo.frames));
        std::printf("  ");
        print_bands(solo.frames, MIX_BANDS);
        std::printf("\n");
    }
    print_pitch(file);
    print_hits(file, m);

    std::printf("instrument              sample mean  pitch at C-4\n");
    for (int i = 0; i < m.ins; ++i) {
        const xmp_instrument &ins = m.xxi[i];
        if (ins.nsm < 1)
            continue;
        const xmp_sample &s = m.xxs[ins.sub[0].sid];
        const pitch_reading p = pitch_at_c4(file, i + 1);
        char pitch[80] = "no clear pitch";
        if (p.hz > 0) {
            std::string note;
            double cents = cents_off_note(p.hz, &note);
            int n = std::snprintf(pitch, sizeof pitch, "%s %+5.1f cents (%.1f Hz)", note.c_str(),
                                  cents, p.hz);
            if (p.twin_cents != 0)
                std::snprintf(pitch + n, sizeof pitch - static_cast<size_t>(n),
                              ", twin %+.0f cents at %+.0f dB", p.twin_cents, p.twin_db);
        }
        std::printf("  %02X %-18s %+.5f     %s\n", i + 1, ins.name, sample_mean(s), pitch);
    }
    xmp_release_module(ctx);
    xmp_free_context(ctx);

    const size_t total = song.frames.size() / 2;
    const size_t first = std::min(total, static_cast<size_t>(from * LISTEN_RATE));
    const size_t last = to > from ? std::min(total, static_cast<size_t>(to * LISTEN_RATE)) : total;
    if (!wav.empty() && !write_wav(wav, song.frames, first, last)) {
        std::fprintf(stderr, "%s: cannot write\n", wav.c_str());
        return 1;
    }
    if (!png.empty()) {
        if (std::system("command -v sox >/dev/null 2>&1") != 0) {
            std::fprintf(
                stderr,
                "the spectrogram needs sox, which is not installed (apt-get install sox)\n");
            return 1;
        }
        const std::string temp = png + ".wav";
        if (!write_wav(temp, song.frames, first, last)) {
            std::fprintf(stderr, "%s: cannot write\n", temp.c_str());
            return 1;
        }
        const std::string resample =
            top > 0 ? " rate " + std::to_string(static_cast<int>(2 * top)) : "";
        const std::string command = "sox '" + temp + "' -n remix -" + resample +
                                    " spectrogram -x 1600 -y 513 -z 90 -t '" + file + "' -o '" +
                                    png + "'";
        const int status = std::system(command.c_str());
        std::remove(temp.c_str());
        if (status != 0) {
            std::fprintf(stderr, "sox could not draw the spectrogram\n");
            return 1;
        }
    }
    return 0;
}
