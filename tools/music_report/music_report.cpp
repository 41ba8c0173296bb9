// music_report: the figures of a module as the show plays it.
//
// Renders a module through libxmp at 44.1 kHz, the way the show plays it, and
// prints what a listener would want to know about it: length and loop point,
// levels for the song and each channel, stereo width, where the energy lies
// in the spectrum, the loudness of each 7.5 s, how long each pitched channel
// sounds off its written note, where each drum hit's energy lies, how varied
// the channel tracks are, how many effect commands the patterns use, how far
// each instrument sounds from its note when played at C-4, and how the parts
// sit together (see mix.h): the kick against the bass, the layers coming and
// going, the steps in loudness, the lead in front of the rest and its echo,
// the octave bands and the seam where the song loops; and how it is arranged
// (see arrange.h): the drop and the climb after the break, the kick on a
// small speaker, the bass's harmony, how the lead develops and how the groove
// changes. It can also
// write the rendering as a WAV file and as a spectrogram picture (the picture
// needs sox), of the whole song or of a stretch of it, up to a top frequency.
// A song that does not loop within half an hour of music is refused.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xmp.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "listen.h"
#include "mix.h"
#include "notes.h"
#include "output_guard.h"
#include "tool_options.h"

extern char **environ;

namespace {

void put_u32(std::string &f, uint32_t v) {
    for (int i = 0; i < 4; i++)
        f += static_cast<char>((v >> (8 * i)) & 0xff);
}

void put_u16(std::string &f, unsigned v) {
    f += static_cast<char>(v & 0xff);
    f += static_cast<char>((v >> 8) & 0xff);
}

// The WAV file's bytes: 16-bit stereo of the frames from `first` to `last`.
std::string wav_bytes(const std::vector<float> &frames, std::size_t first, std::size_t last) {
    std::string f;
    const uint32_t bytes = static_cast<uint32_t>((last - first) * 2 * 2);
    f.reserve(44 + bytes);
    f += "RIFF";
    put_u32(f, 36 + bytes);
    f += "WAVEfmt ";
    put_u32(f, 16);
    put_u16(f, 1);
    put_u16(f, 2);
    put_u32(f, LISTEN_RATE);
    put_u32(f, LISTEN_RATE * 4);
    put_u16(f, 4);
    put_u16(f, 16);
    f += "data";
    put_u32(f, bytes);
    for (std::size_t i = first * 2; i < last * 2; i++)
        put_u16(f, static_cast<uint16_t>(static_cast<int16_t>(std::lround(frames[i] * 32767.0f))));
    return f;
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
    for (int i = 0; i < m.len; i++) {
        const int p = m.xxo[i];
        const xmp_pattern &pat = *m.xxp[p];
        for (int ch = 0; ch < m.chn; ch++) {
            const xmp_track &t = *m.xxt[pat.index[ch]];
            std::vector<int> key;
            bool empty = true;
            int effects = 0;
            for (int r = 0; r < pat.rows; r++) {
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
            out.non_empty++;
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
    for (int i = from; i < to; i++)
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

// The loudness of each 7.5 s of the song, and how far apart its loudest and
// quietest lie; a song shorter than that is measured whole.
void print_loudness(const rendering &song) {
    const double WINDOW_S = 7.5;
    if (song.duration_s < WINDOW_S) {
        const std::vector<double> whole = loudness_lufs(song.frames, song.duration_s);
        if (!whole.empty())
            std::printf("loudness  %.1f LUFS over the whole song\n", whole[0]);
        return;
    }
    const std::vector<double> lufs = loudness_lufs(song.frames, WINDOW_S);
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

// Each hit (an instrument whose sample does not loop) as the song plays it,
// alone: where its energy lies.
void print_hits(const std::string &file, const xmp_module &m) {
    for (int i = 0; i < m.ins; i++) {
        const xmp_instrument &ins = m.xxi[i];
        if (ins.nsm < 1 || (m.xxs[ins.sub[0].sid].flg & XMP_SAMPLE_LOOP))
            continue;
        const rendering hit = render_song(file, -1, i + 1);
        std::printf("hit %02X %-18s ", i + 1, ins.name);
        print_bands(hit.frames, HIT_BANDS);
        std::printf("\n");
    }
}

const char *USAGE = "usage: music_report [OPTION]... MODULE\n"
                    "\n"
                    "Renders MODULE through libxmp as the show plays it and prints its figures.\n";

// The lowest top the spectrogram takes: sox resamples to twice the top, and
// fails below a rate of about 60.
constexpr double MIN_TOP_HZ = 50;

struct options {
    std::string module, wav, png;
    double from = 0, to = -1, top = 0;  // to < 0: the end of the song; top 0: no resampling
};

// The first and last frame of the stretch chosen, in a song of `total` frames.
std::pair<std::size_t, std::size_t> stretch(const options &o, std::size_t total) {
    const std::size_t first = static_cast<std::size_t>(o.from * LISTEN_RATE);
    const std::size_t last =
        o.to >= 0 ? std::min(total, static_cast<std::size_t>(o.to * LISTEN_RATE)) : total;
    return {first, last};
}

// The options, or an exit status (0 after --help) when the program should stop.
int parse_options(int argc, char **argv, options &o) {
    tool_options line("music_report", USAGE);
    line.text("wav", "FILE.wav", "write the rendering (or the stretch chosen) as a WAV file",
              o.wav);
    line.text("spectrogram", "FILE.png", "draw the rendering (or the stretch) with sox", o.png);
    line.number("from", "S", "the stretch's start, in seconds from the start (0)", 0, MAX_SONG_S,
                o.from);
    line.number("to", "S", "the stretch's end, in seconds from the start (the song's end)", 0,
                MAX_SONG_S, o.to);
    line.number("top", "HZ", "the highest frequency the spectrogram shows, 50 to 22050", MIN_TOP_HZ,
                LISTEN_RATE / 2, o.top);
    if (const int status = line.parse(argc, argv, 1, 1); status >= 0)
        return status;
    o.module = line.operands()[0];
    char why[120];
    if (o.to >= 0 && o.to <= o.from) {
        std::snprintf(why, sizeof why, "--to %g must lie after --from %g", o.to, o.from);
        return line.mistake(why);
    }
    if (o.to >= 0 && stretch(o, SIZE_MAX).second <= stretch(o, SIZE_MAX).first) {
        std::snprintf(why, sizeof why, "--from %.9g --to %.9g is shorter than one sample (1/%d s)",
                      o.from, o.to, LISTEN_RATE);
        return line.mistake(why);
    }
    return -1;
}

// A module file is a regular file of at most this size (the show's are under 1 MB).
constexpr off_t MAX_MODULE_BYTES = 64 << 20;

// Why `path` is no module file to load, or null when it may be one.
const char *not_a_module_file(const std::string &path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return "cannot be read";
    if (!S_ISREG(st.st_mode))
        return "is not a regular file";
    return st.st_size > MAX_MODULE_BYTES ? "is over 64 MB, too large for a module" : nullptr;
}

void print_song(const std::string &file, const xmp_module &m, const rendering &song) {
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
}

void print_patterns(const xmp_module &m) {
    const pattern_figures pf = count_patterns(m);
    std::printf("tracks    %d distinct of %d non-empty channel tracks (%.0f%%)\n", pf.distinct,
                pf.non_empty, pf.non_empty ? 100.0 * pf.distinct / pf.non_empty : 0.0);
    std::printf("effects   %d commands in the patterns, %d as played\n", pf.effects,
                pf.effects_played);
}

// Each channel alone: its level and where its energy lies; what the mix
// measures need of it is kept in `studies`.
void print_channels(const std::string &file, const xmp_module &m,
                    std::vector<channel_study> &studies) {
    for (int ch = 0; ch < m.chn; ch++) {
        const rendering solo = render_song(file, ch);
        studies.push_back(study_channel(solo.frames));
        char what[24];
        std::snprintf(what, sizeof what, "channel %d", ch);
        print_level(what, measure_level(solo.frames));
        std::printf("  ");
        print_bands(solo.frames, MIX_BANDS);
        std::printf("\n");
    }
}

// Each instrument: the mean of its sample and its pitch played at C-4.
void print_instruments(const std::string &file, const xmp_module &m) {
    std::printf("instrument              sample mean  pitch at C-4\n");
    for (int i = 0; i < m.ins; i++) {
        const xmp_instrument &ins = m.xxi[i];
        if (ins.nsm < 1)
            continue;
        const xmp_sample &s = m.xxs[ins.sub[0].sid];
        const pitch_reading p = pitch_at_c4(file, i + 1);
        char pitch[80] = "no clear pitch";
        if (p.hz > 0) {
            std::string note;
            const double cents = cents_off_note(p.hz, &note);
            const int n = std::snprintf(pitch, sizeof pitch, "%s %+5.1f cents (%.1f Hz)",
                                        note.c_str(), cents, p.hz);
            if (p.twin_cents != 0)
                std::snprintf(pitch + n, sizeof pitch - static_cast<std::size_t>(n),
                              ", twin %+.0f cents at %+.0f dB", p.twin_cents, p.twin_db);
        }
        std::printf("  %02X %-18s %+.5f     %s\n", i + 1, ins.name, sample_mean(s), pitch);
    }
}

// Runs a program with its arguments as given, no shell between: its exit
// status, or -1 when it could not be started. A signal that ends the report
// ends the program too.
int run_program(const std::vector<std::string> &args) {
    std::vector<char *> argv;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    end_on_signals(pid);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    end_on_signals(0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A path sox cannot take for an option.
std::string as_path(const std::string &path) { return path[0] == '-' ? "./" + path : path; }

// The rendering as a WAV file for sox, in the temporary folder, removed
// when it goes (or when a signal ends the report).
struct temporary_wav {
    std::string path;
    ~temporary_wav() {
        if (!path.empty()) {
            unlink(path.c_str());
            forget_on_signals(path);
        }
    }
    bool write(const std::string &bytes) {
        const char *dir = std::getenv("TMPDIR");
        std::string name = std::string(dir && *dir ? dir : "/tmp") + "/music_report-XXXXXX.wav";
        const int fd = mkostemps(name.data(), 4, O_CLOEXEC);
        if (fd < 0) {
            std::fprintf(stderr, "music_report: cannot make a temporary file: %s\n",
                         std::strerror(errno));
            return false;
        }
        path = name;
        remove_on_signals(path);
        std::size_t done = 0;
        for (ssize_t n = 0; done < bytes.size(); done += static_cast<std::size_t>(n))
            if ((n = ::write(fd, bytes.data() + done, bytes.size() - done)) <= 0)
                break;
        if (close(fd) != 0 || done < bytes.size()) {
            std::fprintf(stderr, "%s: cannot write\n", path.c_str());
            return false;
        }
        return true;
    }
};

// The spectrogram's width in columns for `frames` of the rendering drawn at
// `rate`: at most 1600 and a whole number of samples to each column. sox
// steps a whole number of samples from column to column, so a wider picture
// of a short stretch drawn at a low rate would show only the stretch's start.
std::string picture_columns(std::size_t frames, int rate) {
    const std::size_t samples = frames * static_cast<std::size_t>(rate) / LISTEN_RATE;
    const std::size_t step = std::max<std::size_t>(1, (samples + 1599) / 1600);
    return std::to_string(std::max<std::size_t>(100, samples / step));
}

bool draw_spectrogram(const options &o, const rendering &song, std::size_t first,
                      std::size_t last) {
    temporary_wav wav;
    output_file png;
    std::string error;
    if (!png.open(o.png, error, {o.module})) {
        std::fprintf(stderr, "music_report: %s\n", error.c_str());
        return false;
    }
    if (!wav.write(wav_bytes(song.frames, first, last)))
        return false;
    std::vector<std::string> sox = {"sox", wav.path, "-n", "remix", "-"};
    const int rate = o.top > 0 ? static_cast<int>(2 * o.top) : LISTEN_RATE;
    if (o.top > 0)
        sox.insert(sox.end(), {"rate", std::to_string(rate)});
    sox.insert(sox.end(), {"spectrogram", "-x", picture_columns(last - first, rate), "-y", "513",
                           "-z", "90", "-t", o.module, "-o", as_path(png.temp_path())});
    const int status = run_program(sox);
    if (status < 0)
        std::fprintf(stderr, "the spectrogram needs sox, which is not installed (apt-get install "
                             "sox)\n");
    else if (status > 0)
        std::fprintf(stderr, "sox could not draw the spectrogram into %s\n", o.png.c_str());
    else if (!png.commit(error))
        std::fprintf(stderr, "music_report: %s\n", error.c_str());
    return status == 0 && error.empty();
}

// Writes the rendering (or the stretch chosen) as a WAV file.
bool write_wav(const options &o, const rendering &song, std::size_t first, std::size_t last) {
    output_file wav;
    std::string error;
    const std::string bytes = wav_bytes(song.frames, first, last);
    if (wav.open(o.wav, error, {o.module}) && wav.write(bytes.data(), bytes.size(), error) &&
        wav.commit(error))
        return true;
    std::fprintf(stderr, "music_report: %s\n", error.c_str());
    return false;
}

// The WAV file and the spectrogram asked for, of the stretch chosen.
int write_outputs(const options &o, const rendering &song) {
    const auto [first, last] = stretch(o, song.frames.size() / 2);
    if (!o.wav.empty() && !write_wav(o, song, first, last))
        return 1;
    if (!o.png.empty() && !draw_spectrogram(o, song, first, last))
        return 1;
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    options o;
    if (const int status = parse_options(argc, argv, o); status >= 0)
        return status;
    if (const char *why = not_a_module_file(o.module)) {
        std::fprintf(stderr, "%s: %s\n", o.module.c_str(), why);
        return 1;
    }
    // The outputs are looked at before the song is rendered, which takes a while.
    remove_temporaries_on_signals();
    for (const std::string &out : {o.wav, o.png})
        if (const std::string refused = out.empty() ? "" : output_refusal(out, {o.module});
            !refused.empty()) {
            std::fprintf(stderr, "music_report: %s\n", refused.c_str());
            return 1;
        }
    const player module(o.module);  // loaded, not started
    if (!module.loaded) {
        std::fprintf(stderr, "%s: libxmp cannot load it\n", o.module.c_str());
        return 1;
    }
    const xmp_module &m = *module.info.mod;
    const rendering song = render_song(o.module);
    if (song.too_long) {
        std::fprintf(stderr, "%s: the song does not loop within %.0f minutes of music\n",
                     o.module.c_str(), MAX_SONG_S / 60);
        return 1;
    }
    if (!song.ok) {
        std::fprintf(stderr, "%s: libxmp cannot play it\n", o.module.c_str());
        return 1;
    }
    if (o.from >= song.duration_s && (!o.wav.empty() || !o.png.empty())) {
        std::fprintf(stderr, "music_report: --from %g lies past the song's end at %.2f s\n", o.from,
                     song.duration_s);
        return 2;
    }
    print_song(o.module, m, song);
    print_loudness(song);
    print_patterns(m);
    std::vector<channel_study> studies;
    print_channels(o.module, m, studies);
    print_mix(o.module, m, song, studies);
    print_pitch(o.module);
    print_hits(o.module, m);
    print_instruments(o.module, m);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "music_report: cannot write the report\n");
        return 1;
    }
    return write_outputs(o, song);
}
