// The module compiler: a text score in, an XM module out.
//
// parse_score() reads the score into a song, check_tuning() finds what it
// would play out of tune, synthesize() turns each instrument description into
// sample data, write_xm() lays the song out as the bytes of an XM file.
// compile_score() runs them all. Faults of the score come back as a
// score_error with its line; a function that can meet one returns false.
//
// How a score is written (the scores in music/ point here):
//
// ';' starts a comment. Numbers of instruments, volumes and effect
// parameters are hex, as in a tracker; row numbers and the rest are decimal.
//
//   title NAME            module name (at most 20 characters)
//   bpm N / speed N       tempo in beats per minute, ticks per row
//   channels N            channel count, before the first pattern
//   instrument NN tone|hit "name"
//       followed by settings, one per line:
//       like NN              first: start from instrument NN's settings
//       wave KIND [PULSE%]   sine square saw triangle noise; pulse width for square
//       wave2 KIND [PULSE%]  a second wave, mixed in with: mix %, detune CENTS, octave2 N
//       tone only:  cycle SAMPLES (one period), cycles N (at least N periods in the loop)
//       hit only:   freq HZ [END_HZ SWEEP_MS], length MS, decay MS,
//                   noise % [NOISE_DECAY_MS]
//       both:       attack MS (a tone's fades in once before its loop),
//                   lowpass HZ, highpass HZ, drive X, seed N, bits 8|16,
//                   volume 0..64, pan -128..127, relnote N, finetune N,
//                   env TICK:VOL ..., sustain POINT, envloop FROM TO, fadeout N,
//                   vibrato DEPTH RATE [SWEEP]
//       A tone plays middle C at C-4; a hit plays as designed at C-4 (its
//       pitch is the end of its sweep). A detune sounds as written within
//       2 cents: the loop gets as many periods as that takes, and a detune
//       that no loop of 2^18 samples can realise is an error. No sample
//       carries a DC offset. All samples together hold at most 8388608
//       sample points (16 MB).
//   track NAME ROWS [NN]  one channel of rows; NN is the instrument given to
//                         notes written without one
//   pattern NAME ROWS     all channels of rows; may start with
//       tracks REF REF ...   one per channel: NAME, NAME+5 (transposed),
//                            NAME>3 (three rows later), NAME@03 (other
//                            instrument), combined as NAME-12>3@03; '.' silent;
//                            a shorter track repeats to fill the pattern
//   order NAME NAME ...   the song; may span several lines
//   restart N             order position (from 0) the song loops back to
//
// A row is: [ROW] NOTE [INS [VOL [EFFECT]]], with '|' between channels in a
// pattern. NOTE is C-4, C#4 ... or === (key off) or ... (none); INS and VOL
// are two hex digits or '..'; EFFECT is XM's letter or digit and two hex
// digits, or '...'. Trailing fields and cells may be left out, a row number
// skips the empty rows before it, and rows after the last one written are
// empty. Cells written in a pattern's rows replace those of its tracks.
//
// The effects a score uses most (x, y: hex digits):
//   0xy arpeggio: the note, +x and +y semitones in turn on each tick
//   1xx / 2xx slide the pitch up / down; 3xx glide to the note (portamento)
//   4xy vibrato, speed x depth y; Axy volume slide, up x or down y per tick
//   Cxx set the volume; E9x retrigger the note every x ticks; ECx cut it at
//   tick x; EDx delay it by x ticks; Fxx speed (below 20) or BPM
//
// The compiler refuses what would sound off the written notes: a glide must
// reach its note within the rows that carry it (3xx moves xx/16 semitone on
// each tick of a row but the first; continue it with 300), and a vibrato
// may swing at most 35 cents, the instrument's own vibrato included (depth y
// of 4xy swings (2y - 1)/16 semitone, depth d of the instrument's d/64).
// An instrument must play C-4 at a relative note the module can carry.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// A fault of a score: the line it was found on (0 when the fault belongs to
// the score as a whole, e.g. an empty order list) and what it is.
struct score_error {
    int line = 0;
    std::string message;
};

// One channel of one row, as XM stores it. note: 0 none, 1..96 C-0..B-7,
// 97 key off. volume: 0 none, otherwise the raw volume-column byte.
struct cell {
    uint8_t note = 0;
    uint8_t instrument = 0;
    uint8_t volume = 0;
    uint8_t effect = 0;
    uint8_t param = 0;

    bool empty() const {
        return note == 0 && instrument == 0 && volume == 0 && effect == 0 && param == 0;
    }
    bool operator==(const cell &) const = default;
};

constexpr uint8_t KEY_OFF = 97;

enum class wave_kind { sine, square, saw, triangle, noise };

struct envelope_point {
    int tick = 0;
    int value = 0;
};

// How one instrument sounds. A "tone" is a looped waveform tuned so that
// C-4 plays middle C; a "hit" is a one-shot sound rendered in time (pitch
// sweep, decay, noise), played as written when triggered at C-4.
struct instrument {
    int number = 0;
    std::string name;
    int line = 0;
    bool hit = false;

    wave_kind wave = wave_kind::sine;
    int pulse = 50;  // square duty cycle, percent
    bool has_wave2 = false;
    wave_kind wave2 = wave_kind::sine;
    int pulse2 = 50;
    double detune = 0;    // cents of the second wave against the first
    int detune_line = 0;  // where the detune was written (0: not written)
    int octave2 = 0;      // octaves of the second wave against the first
    int mix = 50;         // share of the second wave, percent

    // tone
    int cycle = 128;  // samples in one cycle of the first wave
    int cycles = 1;   // cycles of the first wave in the loop

    // hit
    double freq_start = 261.6256, freq_end = 261.6256, sweep_ms = 0;
    double length_ms = 200;
    double attack_ms = 0;
    double decay_ms = 0;         // 0: no decay
    int noise = 0;               // share of white noise, percent
    double noise_decay_ms = -1;  // -1: same as decay

    // both
    double lowpass = 0, highpass = 0;  // one-pole filters, Hz; 0 = off
    double drive = 0;                  // soft saturation; 0 = off
    uint32_t seed = 0;                 // 0: derived from the instrument number
    int bits = 16;

    int volume = 64;
    int pan = 0;  // -128 left .. 127 right
    int relnote = 0;
    int finetune = 0;

    std::vector<envelope_point> envelope;
    int sustain = -1, loop_start = -1, loop_end = -1;
    int fadeout = 0;
    int vib_depth = 0, vib_rate = 0, vib_sweep = 0;
};

// The sample data an instrument becomes, with the XM tuning that goes with it.
struct sample {
    std::vector<int16_t> data;  // 16-bit range even for 8-bit samples (scaled down on writing)
    bool loop = false;
    uint32_t loop_start = 0, loop_length = 0;
    int relnote = 0;
    int finetune = 0;
};

struct pattern {
    std::string name;
    int rows = 64;
    std::vector<cell> cells;  // rows * channels, row major
    std::vector<int> lines;   // the score line each cell was written on (0: none)
};

struct song {
    std::string title;
    int bpm = 125;
    int speed = 6;
    int channels = 0;
    int restart = 0;
    std::vector<int> order;  // pattern indices
    std::vector<pattern> patterns;
    std::vector<instrument> instruments;  // sorted by number
};

bool parse_score(const std::string &text, song &out, score_error &error);
// What the song would play out of tune, followed through the order list as a
// player plays it, one fault a written line: a glide (3xx, 5xy) that cannot
// reach its note within the rows that carry it, and a vibrato (4xy, 6xy)
// that swings further than VIBRATO_LIMIT_CENTS with the instrument's own.
std::vector<score_error> check_tuning(const song &s);
constexpr double VIBRATO_LIMIT_CENTS = 35;
// A detune no loop can realise is thrown as a score_error, which write_xm returns.
sample synthesize(const instrument &ins);
// The periods of a tone's first and second wave in its loop: at least the
// periods asked for, and as many more as a detune needs to be realised; a
// detune no loop of up to 2^18 samples realises is thrown as a score_error.
std::pair<int, int> loop_periods(const instrument &ins);
bool write_xm(const song &s, std::vector<uint8_t> &out, score_error &error);
// Parses, checks the tuning (the first fault is returned) and writes.
bool compile_score(const std::string &text, std::vector<uint8_t> &out, score_error &error);
