// Reads the text of a score into a song. The first fault ends the reading:
// fail() unwinds to parse_score, which returns it as a score_error naming
// the line it was found on.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <map>
#include <sstream>

#include "notes.h"
#include "score.h"

namespace {

struct track {
    std::string name;
    int rows = 0;
    int default_instrument = 0;
    std::vector<cell> cells;
    std::vector<int> lines;  // where each row was written (0: not written)
};

[[noreturn]] void fail(int line, const std::string &what) { throw score_error{line, what}; }

bool is_name(const std::string &s) {
    if (s.empty() || !(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_'))
        return false;
    return std::all_of(s.begin(), s.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    });
}

bool all_digits(const std::string &s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
    });
}

long to_int(const std::string &s, int line, long lo, long hi, const std::string &what) {
    long v = 0;
    const char *first = s.data();
    if (!s.empty() && s[0] == '+')
        first++;
    auto [p, ec] = std::from_chars(first, s.data() + s.size(), v);
    if (ec != std::errc() || p != s.data() + s.size() || first == s.data() + s.size())
        fail(line, what + ": '" + s + "' is not a whole number");
    if (v < lo || v > hi)
        fail(line,
             what + " " + s + " is out of range " + std::to_string(lo) + ".." + std::to_string(hi));
    return v;
}

double to_real(const std::string &s, int line, double lo, double hi, const std::string &what) {
    double v = 0;
    const char *first = s.data();
    if (!s.empty() && s[0] == '+')
        first++;
    auto [p, ec] = std::from_chars(first, s.data() + s.size(), v);
    if (ec != std::errc() || p != s.data() + s.size() || first == s.data() + s.size())
        fail(line, what + ": '" + s + "' is not a number");
    if (!(v >= lo && v <= hi)) {
        std::ostringstream m;
        m << what << " " << s << " is out of range " << lo << ".." << hi;
        fail(line, m.str());
    }
    return v;
}

int hex_value(const std::string &s, int line, int lo, int hi, const std::string &what) {
    int v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v, 16);
    if (s.size() != 2 || ec != std::errc() || p != s.data() + s.size())
        fail(line, what + ": '" + s + "' is not two hex digits");
    if (v < lo || v > hi)
        fail(line, what + " " + s + " is out of range");
    return v;
}

// Splits a line into words; a double-quoted string is one word (without the
// quotes); ';' starts a comment. '|' stands as a word of its own.
std::vector<std::string> split_words(const std::string &text, int line) {
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == ';')
            break;
        if (std::isspace(static_cast<unsigned char>(c))) {
            i++;
            continue;
        }
        if (c == '|') {
            out.emplace_back("|");
            i++;
            continue;
        }
        if (c == '"') {
            std::size_t end = text.find('"', i + 1);
            if (end == std::string::npos)
                fail(line, "unterminated quoted name");
            out.push_back(text.substr(i + 1, end - i - 1));
            i = end + 1;
            continue;
        }
        std::size_t j = i;
        while (j < text.size() && !std::isspace(static_cast<unsigned char>(text[j])) &&
               text[j] != '|' && text[j] != ';')
            j++;
        out.push_back(text.substr(i, j - i));
        i = j;
    }
    return out;
}

wave_kind parse_wave(const std::string &s, int line) {
    if (s == "sine")
        return wave_kind::sine;
    if (s == "square")
        return wave_kind::square;
    if (s == "saw")
        return wave_kind::saw;
    if (s == "triangle")
        return wave_kind::triangle;
    if (s == "noise")
        return wave_kind::noise;
    fail(line, "unknown wave '" + s + "' (sine, square, saw, triangle, noise)");
}

// "C-4", "C#4", "===" (key off), "..." (none).
uint8_t parse_note(const std::string &s, int line) {
    if (s == "..." || s == ".")
        return 0;
    if (s == "===" || s == "OFF")
        return KEY_OFF;
    if (s.size() == 3 && std::isdigit(static_cast<unsigned char>(s[2]))) {
        for (int k = 0; k < 12; k++) {
            if (s.compare(0, 2, NOTE_NAMES[k]) == 0) {
                int octave = s[2] - '0';
                if (octave > 7)
                    break;
                return static_cast<uint8_t>(octave * 12 + k + 1);
            }
        }
    }
    fail(line, "bad note '" + s + "' (write C-4, C#4, === for key off, ... for none)");
}

struct parsed_cell {
    cell at;
    bool instrument_given = false;  // a number (even 00) was written
};

// A cell: note [instrument [volume [effect]]], each field may be dots.
parsed_cell parse_cell(const std::vector<std::string> &w, std::size_t from, std::size_t to,
                       int line) {
    parsed_cell out;
    std::size_t n = to - from;
    if (n == 0)
        return out;
    if (n > 4)
        fail(line,
             "too many fields in a cell: '" + w[from + 4] + "' (note instrument volume effect)");
    out.at.note = parse_note(w[from], line);
    if (n > 1 && w[from + 1] != "..") {
        out.at.instrument =
            static_cast<uint8_t>(hex_value(w[from + 1], line, 0, 0x80, "instrument"));
        out.instrument_given = true;
    }
    if (n > 2 && w[from + 2] != "..")
        out.at.volume =
            static_cast<uint8_t>(0x10 + hex_value(w[from + 2], line, 0, 0x40, "volume"));
    if (n > 3 && w[from + 3] != "...") {
        const std::string &e = w[from + 3];
        if (e.size() != 3)
            fail(line, "bad effect '" + e + "' (a letter or digit and two hex digits)");
        char t = static_cast<char>(std::toupper(static_cast<unsigned char>(e[0])));
        if (t >= '0' && t <= '9')
            out.at.effect = static_cast<uint8_t>(t - '0');
        else if (t >= 'A' && t <= 'Z')
            out.at.effect = static_cast<uint8_t>(t - 'A' + 10);
        else
            fail(line, "bad effect '" + e + "'");
        out.at.param =
            static_cast<uint8_t>(hex_value(e.substr(1), line, 0, 255, "effect parameter"));
    }
    return out;
}

enum class block_kind { none, instrument, track, pattern };

// What the parser has read so far, and where it is.
struct parser {
    song piece;
    block_kind block = block_kind::none;
    std::map<std::string, track> tracks;
    track *current_track = nullptr;
    std::map<std::string, int> pattern_index;
    std::vector<std::pair<int, int>> used_instruments;  // number, line
    int next_row = 0;
    int restart_line = 0;
};

void need(const std::vector<std::string> &w, std::size_t n, int line, const std::string &usage) {
    if (w.size() != n)
        fail(line, "expected: " + usage);
}

void check_envelope_refs(const instrument &ins, int line) {
    int n = static_cast<int>(ins.envelope.size());
    if (n == 0)
        return;
    if (ins.sustain >= n)
        fail(line, "sustain point is past the last envelope point");
    if (ins.loop_end >= n)
        fail(line, "envelope loop is past the last envelope point");
}

// instrument NN tone|hit ["name"]
void start_instrument(parser &st, const std::vector<std::string> &w, int line) {
    if (w.size() < 3 || w.size() > 4)
        fail(line, "expected: instrument NN tone|hit [\"name\"]");
    instrument ins;
    ins.number = hex_value(w[1], line, 1, 0x80, "instrument number");
    if (w[2] == "hit")
        ins.hit = true;
    else if (w[2] != "tone")
        fail(line, "instrument kind must be tone or hit, not '" + w[2] + "'");
    ins.name = w.size() == 4 ? w[3] : "";
    if (ins.name.size() > 22)
        fail(line, "instrument name is longer than 22 characters");
    ins.line = line;
    for (const auto &other : st.piece.instruments)
        if (other.number == ins.number)
            fail(line, "instrument " + w[1] + " is defined twice");
    st.piece.instruments.push_back(ins);
    st.block = block_kind::instrument;
}

using words = std::vector<std::string>;

// like NN: the settings of an instrument defined above, under this one's
// number, name, line, seed and kind.
void take_settings_of(parser &st, instrument &ins, const words &w, int line) {
    const int from = hex_value(w[1], line, 1, 0x80, "instrument");
    auto it = std::find_if(st.piece.instruments.begin(), st.piece.instruments.end() - 1,
                           [&](const instrument &i) { return i.number == from; });
    if (it == st.piece.instruments.end() - 1)
        fail(line, "like names instrument " + w[1] + ", not defined above");
    instrument copy = *it;
    copy.number = ins.number;
    copy.name = ins.name;
    copy.line = ins.line;
    copy.seed = ins.seed;
    copy.hit = ins.hit;
    ins = copy;
}

void set_wave(instrument &ins, const words &w, int line) {
    const wave_kind wave = parse_wave(w[1], line);
    const int pulse =
        w.size() == 3 ? static_cast<int>(to_int(w[2], line, 1, 99, "pulse width")) : 50;
    if (w[0] == "wave") {
        ins.wave = wave;
        ins.pulse = pulse;
    } else {
        ins.has_wave2 = true;
        ins.wave2 = wave;
        ins.pulse2 = pulse;
    }
}

void set_freq(instrument &ins, const words &w, int line) {
    if (w.size() == 3)
        fail(line, "expected: freq HZ [END_HZ MS]");
    ins.freq_start = ins.freq_end = to_real(w[1], line, 1, 20000, "freq");
    if (w.size() == 4) {
        ins.freq_end = to_real(w[2], line, 1, 20000, "end freq");
        ins.sweep_ms = to_real(w[3], line, 0, 10000, "sweep time");
    }
}

void set_envelope(instrument &ins, const words &w, int line) {
    ins.envelope.clear();
    for (std::size_t i = 1; i < w.size(); i++) {
        const auto colon = w[i].find(':');
        if (colon == std::string::npos)
            fail(line, "envelope point '" + w[i] + "' is not TICK:VOLUME");
        envelope_point p;
        p.tick = static_cast<int>(to_int(w[i].substr(0, colon), line, 0, 65535, "envelope tick"));
        p.value = static_cast<int>(to_int(w[i].substr(colon + 1), line, 0, 64, "envelope volume"));
        if (!ins.envelope.empty() && p.tick <= ins.envelope.back().tick)
            fail(line, "envelope ticks must rise");
        if (ins.envelope.empty() && p.tick != 0)
            fail(line, "the first envelope point must be at tick 0");
        ins.envelope.push_back(p);
    }
}

// One instrument setting: its word, how many values it takes, how it is
// written, and what it does with them.
struct setting {
    const char *key;
    std::size_t least, most;
    const char *usage;
    void (*apply)(parser &st, instrument &ins, const words &w, int line);
};

int whole(const words &w, std::size_t i, int line, long lo, long hi, const char *what) {
    return static_cast<int>(to_int(w[i], line, lo, hi, what));
}

const setting SETTINGS[] = {
    {"like", 1, 1, "like NN", take_settings_of},
    {"wave", 1, 2, "wave sine|square|saw|triangle|noise [pulse%]",
     [](parser &, instrument &ins, const words &w, int line) { set_wave(ins, w, line); }},
    {"wave2", 1, 2, "wave2 sine|square|saw|triangle|noise [pulse%]",
     [](parser &, instrument &ins, const words &w, int line) { set_wave(ins, w, line); }},
    {"detune", 1, 1, "detune CENTS",
     [](parser &, instrument &ins, const words &w, int line) {
         ins.detune = to_real(w[1], line, -1200, 1200, "detune");
         ins.detune_line = line;
     }},
    {"octave2", 1, 1, "octave2 N",
     [](parser &, instrument &ins, const words &w, int line) {
         ins.octave2 = whole(w, 1, line, -2, 3, "octave2");
     }},
    {"mix", 1, 1, "mix PERCENT",
     [](parser &, instrument &ins, const words &w, int line) {
         ins.mix = whole(w, 1, line, 0, 100, "mix");
     }},
    {"cycle", 1, 1, "cycle SAMPLES",
     [](parser &, instrument &ins, const words &w, int line) {
         ins.cycle = whole(w, 1, line, 8, 2048, "cycle");
     }},
    {"cycles", 1, 1, "cycles N",
     [](parser &, instrument &ins, const words &w, int line) {
         ins.cycles = whole(w, 1, line, 1, 1024, "cycles");
     }},
    {"freq", 1, 3, "freq HZ [END_HZ MS]",
     [](parser &, instrument &ins, const words &w, int line) { set_freq(ins, w, line); }},
    {"length", 1, 1, "length MS",
     [](parser &, instrument &ins, const words &w, int line) {
         ins.length_ms = to_real(w[1], line, 1, 10000, "length");
     }},
    {"attack", 1, 1, "attack MS",
     [](parser &, instrument &ins, const words &w, int line) {
         ins.attack_ms = to_real(w[1], line, 0, 10000, "attack");
     }},
    {"decay", 1, 1, "decay MS",
     [](parser &, instrument &ins, const words &w, int line) {
         ins.decay_ms = to_real(w[1], line, 0, 100000, "decay");
     }},
    {"noise", 1, 2, "noise PERCENT [DECAY_MS]",
     [](parser &, instrument &ins, const words &w, int line) {
         ins.noise = whole(w, 1, line, 0, 100, "noise");
         if (w.size() == 3)
             ins.noise_decay_ms = to_real(w[2], line, 0, 100000, "noise decay");
     }},
    {"lowpass", 1, 1, "lowpass HZ",
     [](parser &, instrument &ins, const words &w, int line) {
         ins.lowpass = to_real(w[1], line, 0, 100000, "lowpass");
     }},
    {"highpass", 1, 1, "highpass HZ",
     [](parser &, instrument &ins, const words &w, int line) {
         ins.highpass = to_real(w[1], line, 0, 100000, "highpass");
     }},
    {"drive", 1, 1, "drive AMOUNT",
     [](parser &, instrument &ins, const words &w, int line) {
         ins.drive = to_real(w[1], line, 0, 100, "drive");
     }},
    {"seed", 1, 1, "seed N",
     [](parser &, instrument &ins, const words &w, int line) {
         ins.seed = static_cast<uint32_t>(to_int(w[1], line, 1, 0x7fffffff, "seed"));
     }},
    {"bits", 1, 1, "bits 8|16",
     [](parser &, instrument &ins, const words &w, int line) {
         ins.bits = whole(w, 1, line, 8, 16, "bits");
         if (ins.bits != 8 && ins.bits != 16)
             fail(line, "bits must be 8 or 16");
     }},
    {"volume", 1, 1, "volume 0..64",
     [](parser &, instrument &ins, const words &w, int line) {
         ins.volume = whole(w, 1, line, 0, 64, "volume");
     }},
    {"pan", 1, 1, "pan -128..127",
     [](parser &, instrument &ins, const words &w, int line) {
         ins.pan = whole(w, 1, line, -128, 127, "pan");
     }},
    {"relnote", 1, 1, "relnote N",
     [](parser &, instrument &ins, const words &w, int line) {
         ins.relnote = whole(w, 1, line, -48, 48, "relnote");
     }},
    {"finetune", 1, 1, "finetune N",
     [](parser &, instrument &ins, const words &w, int line) {
         ins.finetune = whole(w, 1, line, -128, 127, "finetune");
     }},
    {"env", 1, 12, "env TICK:VOLUME ... (at most 12 points)",
     [](parser &, instrument &ins, const words &w, int line) { set_envelope(ins, w, line); }},
    {"sustain", 1, 1, "sustain POINT",
     [](parser &, instrument &ins, const words &w, int line) {
         ins.sustain = whole(w, 1, line, 0, 11, "sustain point");
     }},
    {"envloop", 2, 2, "envloop FROM_POINT TO_POINT",
     [](parser &, instrument &ins, const words &w, int line) {
         ins.loop_start = whole(w, 1, line, 0, 11, "loop start point");
         ins.loop_end = whole(w, 2, line, ins.loop_start, 11, "loop end point");
     }},
    {"fadeout", 1, 1, "fadeout N",
     [](parser &, instrument &ins, const words &w, int line) {
         ins.fadeout = whole(w, 1, line, 0, 4095, "fadeout");
     }},
    {"vibrato", 2, 3, "vibrato DEPTH RATE [SWEEP]",
     [](parser &, instrument &ins, const words &w, int line) {
         ins.vib_depth = whole(w, 1, line, 0, 15, "vibrato depth");
         ins.vib_rate = whole(w, 2, line, 0, 63, "vibrato rate");
         if (w.size() == 4)
             ins.vib_sweep = whole(w, 3, line, 0, 255, "vibrato sweep");
     }},
};

void instrument_key(parser &st, const words &w, int line) {
    const auto *s = std::find_if(std::begin(SETTINGS), std::end(SETTINGS),
                                 [&](const setting &k) { return w[0] == k.key; });
    if (s == std::end(SETTINGS))
        fail(line, "unknown instrument setting '" + w[0] + "'");
    if (w.size() - 1 < s->least || w.size() - 1 > s->most)
        fail(line, std::string("expected: ") + s->usage);
    instrument &ins = st.piece.instruments.back();
    s->apply(st, ins, w, line);
    check_envelope_refs(ins, line);
}

// track NAME ROWS [INSTRUMENT]
void start_track(parser &st, const std::vector<std::string> &w, int line) {
    if (w.size() < 3 || w.size() > 4)
        fail(line, "expected: track NAME ROWS [INSTRUMENT]");
    if (!is_name(w[1]))
        fail(line, "bad track name '" + w[1] + "'");
    if (st.tracks.count(w[1]))
        fail(line, "track '" + w[1] + "' is defined twice");
    track t;
    t.name = w[1];
    t.rows = static_cast<int>(to_int(w[2], line, 1, 256, "rows"));
    if (w.size() == 4) {
        t.default_instrument = hex_value(w[3], line, 1, 0x80, "instrument");
        st.used_instruments.emplace_back(t.default_instrument, line);
    }
    t.cells.resize(t.rows);
    t.lines.resize(t.rows);
    st.tracks[t.name] = t;
    st.current_track = &st.tracks[w[1]];
    st.next_row = 0;
    st.block = block_kind::track;
}

// Reads an optional leading row number; returns the index of the first cell word.
std::size_t row_number(parser &st, const std::vector<std::string> &w, int line, int rows) {
    std::size_t at = 0;
    if (all_digits(w[0])) {
        int row = static_cast<int>(to_int(w[0], line, 0, rows - 1, "row"));
        if (row < st.next_row)
            fail(line, "row " + w[0] + " comes after row " + std::to_string(st.next_row - 1));
        st.next_row = row;
        at = 1;
    }
    if (st.next_row >= rows)
        fail(line, "more rows than the " + std::to_string(rows) + " declared");
    return at;
}

void note_instrument_use(parser &st, const cell &c, int line) {
    if (c.instrument)
        st.used_instruments.emplace_back(c.instrument, line);
}

void track_row(parser &st, const std::vector<std::string> &w, int line) {
    track &t = *st.current_track;
    std::size_t at = row_number(st, w, line, t.rows);
    for (std::size_t i = at; i < w.size(); i++)
        if (w[i] == "|")
            fail(line, "a track holds one channel: no '|' in its rows");
    parsed_cell pc = parse_cell(w, at, w.size(), line);
    if (!pc.instrument_given && pc.at.note && pc.at.note != KEY_OFF)
        pc.at.instrument = static_cast<uint8_t>(t.default_instrument);
    note_instrument_use(st, pc.at, line);
    t.lines[st.next_row] = line;
    t.cells[st.next_row++] = pc.at;
}

// pattern NAME ROWS
void start_pattern(parser &st, const std::vector<std::string> &w, int line) {
    need(w, 3, line, "pattern NAME ROWS");
    if (st.piece.channels == 0)
        fail(line, "channels must be given before the first pattern");
    if (!is_name(w[1]))
        fail(line, "bad pattern name '" + w[1] + "'");
    if (st.pattern_index.count(w[1]))
        fail(line, "pattern '" + w[1] + "' is defined twice");
    if (st.piece.patterns.size() >= 256)
        fail(line, "more than 256 patterns");
    pattern p;
    p.name = w[1];
    p.rows = static_cast<int>(to_int(w[2], line, 1, 256, "rows"));
    p.cells.resize(static_cast<std::size_t>(p.rows) * st.piece.channels);
    p.lines.resize(p.cells.size());
    st.pattern_index[p.name] = static_cast<int>(st.piece.patterns.size());
    st.piece.patterns.push_back(std::move(p));
    st.next_row = 0;
    st.block = block_kind::pattern;
}

// tracks REF REF ...: REF is NAME[+N|-N][>N][@II] or '.' for a silent channel.
void pattern_tracks(parser &st, const std::vector<std::string> &w, int line) {
    pattern &p = st.piece.patterns.back();
    if (st.next_row > 0)
        fail(line, "tracks must come before the rows of the pattern");
    if (w.size() - 1 > static_cast<std::size_t>(st.piece.channels))
        fail(line, "more tracks than the " + std::to_string(st.piece.channels) + " channels");
    for (std::size_t ch = 0; ch + 1 < w.size(); ch++) {
        const std::string &ref = w[ch + 1];
        if (ref == ".")
            continue;
        std::size_t end = ref.find_first_of("+->@");
        std::string name = ref.substr(0, end);
        int transpose = 0, delay = 0, instrument = 0;
        std::string rest = end == std::string::npos ? "" : ref.substr(end);
        auto take = [&](std::size_t from) {  // the text of one modifier, up to the next
            std::size_t next = rest.find_first_of(">@", from);
            std::string part = rest.substr(0, next);
            rest = next == std::string::npos ? "" : rest.substr(next);
            return part;
        };
        if (!rest.empty() && (rest[0] == '+' || rest[0] == '-'))
            transpose = static_cast<int>(to_int(take(1), line, -95, 95, "transposition"));
        if (!rest.empty() && rest[0] == '>')
            delay = static_cast<int>(to_int(take(1).substr(1), line, 0, 255, "delay"));
        if (!rest.empty() && rest[0] == '@') {
            instrument = hex_value(rest.substr(1), line, 1, 0x80, "instrument");
            st.used_instruments.emplace_back(instrument, line);
        } else if (!rest.empty()) {
            fail(line, "bad track reference '" + ref + "' (NAME+N>N@II)");
        }
        auto it = st.tracks.find(name);
        if (it == st.tracks.end())
            fail(line, "unknown track '" + name + "'");
        const track &t = it->second;
        for (int r = delay; r < p.rows; r++) {
            cell c = t.cells[(r - delay) % t.rows];
            if (c.note && c.note != KEY_OFF) {
                int n = c.note + transpose;
                if (n < 1 || n > 96)
                    fail(line, "transposing track '" + name + "' puts a note out of range");
                c.note = static_cast<uint8_t>(n);
                if (instrument)
                    c.instrument = static_cast<uint8_t>(instrument);
            }
            p.cells[static_cast<std::size_t>(r) * st.piece.channels + ch] = c;
            p.lines[static_cast<std::size_t>(r) * st.piece.channels + ch] =
                t.lines[(r - delay) % t.rows];
        }
    }
}

// [ROW] cell | cell | ... ; cells written here replace those of the tracks.
void pattern_row(parser &st, const std::vector<std::string> &w, int line) {
    pattern &p = st.piece.patterns.back();
    std::size_t at = row_number(st, w, line, p.rows);
    int ch = 0;
    std::size_t start = at;
    for (std::size_t i = at; i <= w.size(); i++) {
        if (i == w.size() || w[i] == "|") {
            if (ch >= st.piece.channels)
                fail(line,
                     "more cells than the " + std::to_string(st.piece.channels) + " channels");
            parsed_cell pc = parse_cell(w, start, i, line);
            note_instrument_use(st, pc.at, line);
            if (!pc.at.empty()) {
                p.cells[static_cast<std::size_t>(st.next_row) * st.piece.channels + ch] = pc.at;
                p.lines[static_cast<std::size_t>(st.next_row) * st.piece.channels + ch] = line;
            }
            ch++;
            start = i + 1;
        }
    }
    st.next_row++;
}

void finish(parser &st) {
    if (st.piece.channels == 0)
        fail(0, "the score gives no channels");
    if (st.piece.order.empty())
        fail(0, "the order list is empty: the song would play nothing");
    if (st.piece.restart >= static_cast<int>(st.piece.order.size()))
        fail(st.restart_line, "restart position " + std::to_string(st.piece.restart) +
                                  " is past the end of the order list");
    std::sort(st.piece.instruments.begin(), st.piece.instruments.end(),
              [](const instrument &a, const instrument &b) { return a.number < b.number; });
    for (auto [number, line] : st.used_instruments) {
        bool found = std::any_of(st.piece.instruments.begin(), st.piece.instruments.end(),
                                 [n = number](const instrument &i) { return i.number == n; });
        if (!found) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "%02X", number);
            fail(line, std::string("instrument ") + hex + " is not defined");
        }
    }
}

void handle(parser &st, const std::vector<std::string> &w, int line) {
    const std::string &k = w[0];
    if (k == "title") {
        st.block = block_kind::none;
        if (w.size() != 2)
            fail(line, "title takes one name (quote it if it has spaces)");
        if (w[1].size() > 20)
            fail(line, "title is longer than 20 characters");
        st.piece.title = w[1];
    } else if (k == "bpm") {
        st.block = block_kind::none;
        need(w, 2, line, "bpm N");
        st.piece.bpm = static_cast<int>(to_int(w[1], line, 32, 255, "bpm"));
    } else if (k == "speed") {
        st.block = block_kind::none;
        need(w, 2, line, "speed N");
        st.piece.speed = static_cast<int>(to_int(w[1], line, 1, 31, "speed"));
    } else if (k == "channels") {
        st.block = block_kind::none;
        need(w, 2, line, "channels N");
        if (!st.piece.patterns.empty())
            fail(line, "channels must come before the first pattern");
        st.piece.channels = static_cast<int>(to_int(w[1], line, 1, 32, "channels"));
    } else if (k == "restart") {
        st.block = block_kind::none;
        need(w, 2, line, "restart N");
        st.piece.restart = static_cast<int>(to_int(w[1], line, 0, 255, "restart"));
        st.restart_line = line;
    } else if (k == "order") {
        st.block = block_kind::none;
        for (std::size_t i = 1; i < w.size(); i++) {
            auto it = st.pattern_index.find(w[i]);
            if (it == st.pattern_index.end())
                fail(line, "order names unknown pattern '" + w[i] + "'");
            st.piece.order.push_back(it->second);
        }
        if (st.piece.order.size() > 256)
            fail(line, "order list is longer than 256 entries");
    } else if (k == "instrument") {
        start_instrument(st, w, line);
    } else if (k == "track") {
        start_track(st, w, line);
    } else if (k == "pattern") {
        start_pattern(st, w, line);
    } else if (st.block == block_kind::instrument) {
        instrument_key(st, w, line);
    } else if (st.block == block_kind::track) {
        track_row(st, w, line);
    } else if (st.block == block_kind::pattern) {
        if (k == "tracks")
            pattern_tracks(st, w, line);
        else
            pattern_row(st, w, line);
    } else {
        fail(line, "unexpected '" + k + "' outside an instrument, track or pattern");
    }
}

}  // namespace

bool parse_score(const std::string &text, song &out, score_error &error) {
    parser st;
    std::istringstream in(text);
    std::string raw;
    int line = 0;
    try {
        while (std::getline(in, raw)) {
            line++;
            if (!raw.empty() && raw.back() == '\r')
                raw.pop_back();
            auto words = split_words(raw, line);
            if (words.empty())
                continue;
            handle(st, words, line);
        }
        finish(st);
    } catch (const score_error &e) {
        error = e;
        return false;
    }
    out = std::move(st.piece);
    return true;
}
