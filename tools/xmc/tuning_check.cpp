// Follows a song through its order list as a player does, channel by channel,
// and finds what would sound off its written note: glides that stop short and
// vibratos that swing too wide.
//
// A glide (3xx) moves the pitch xx/16 semitone on every tick of its row but
// the first, only on rows that carry it (3xx, or 300 and 5xy with the last
// speed), and stops where it stands on the first row without one. A vibrato
// of depth y (4xy; 6xy and a depth of 0 take the last one) swings the pitch
// by up to (2y - 1)/16 semitone as libxmp plays it, and an instrument's own
// vibrato of depth d adds d/64 semitone.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>
#include <utility>

#include "notes.h"
#include "score.h"

namespace {

constexpr int GLIDE = 0x3, GLIDE_AND_SLIDE = 0x5, VIBRATO = 0x4, VIBRATO_AND_SLIDE = 0x6;
constexpr int SET_SPEED = 0xf, FIRST_BPM = 0x20;

// Where one channel stands as the song plays.
struct channel_state {
    bool sounding = false;
    double pitch = 0;  // semitones, as the note numbers count
    bool gliding = false;
    int target = 0;
    double glide_from = 0;
    int glide_line = 0, glide_ticks = 0;
    int glide_speed = 0, vibrato_depth = 0;  // the effects' memories
    int instrument = 0;
    bool vibrato_told = false;  // a held vibrato is told on its first row only
};

struct checker {
    const song &piece;
    std::vector<score_error> faults;
    std::set<int> told;  // a line played often (a track, transposed) is told once

    void fault(int line, const std::string &what) {
        if (told.insert(line).second)
            faults.push_back({line, what});
    }
};

// The end of a glide: a fault when it has not arrived.
void end_glide(checker &c, channel_state &ch) {
    if (!ch.gliding)
        return;
    ch.gliding = false;
    const double short_by = std::fabs(ch.target - ch.pitch);
    if (short_by < 1e-9)
        return;
    const double leap = std::fabs(ch.target - ch.glide_from);
    char what[200];
    if (ch.glide_ticks == 0) {
        c.fault(ch.glide_line, "the glide to " + note_name(ch.target - 1) +
                                   " cannot move: its rows have no tick after the first");
        return;
    }
    const int needed = static_cast<int>(std::ceil(16 * leap / ch.glide_ticks));
    std::snprintf(what, sizeof what,
                  "the glide to %s stops %.2f semitones short of it: over its %d moving ticks it "
                  "needs 3xx of at least %02X, or more rows with 300",
                  note_name(ch.target - 1).c_str(), short_by, ch.glide_ticks, needed);
    c.fault(ch.glide_line, what);
}

int auto_vibrato_depth(const song &piece, int number) {
    for (const instrument &ins : piece.instruments)
        if (ins.number == number)
            return ins.vib_depth;
    return 0;
}

void check_vibrato(checker &c, channel_state &ch, int line, const cell &at) {
    if (ch.vibrato_told)
        return;
    const double own = auto_vibrato_depth(c.piece, ch.instrument) * 100.0 / 64;
    const double written = ch.vibrato_depth ? (2 * ch.vibrato_depth - 1) * 100.0 / 16 : 0;
    if (written + own <= VIBRATO_LIMIT_CENTS)
        return;
    char what[200];
    std::snprintf(what, sizeof what,
                  "the vibrato %X%02X swings %.0f cents (%.0f of them the instrument's own), more "
                  "than %.0f",
                  at.effect, at.param, written + own, own, VIBRATO_LIMIT_CENTS);
    c.fault(line, what);
    ch.vibrato_told = true;
}

// One cell of one channel, on a row of `ticks` ticks.
void play_cell(checker &c, channel_state &ch, const cell &at, int line, int ticks) {
    const bool glide = at.effect == GLIDE || at.effect == GLIDE_AND_SLIDE;
    const bool note = at.note >= 1 && at.note <= 96;
    if (!glide || note)
        end_glide(c, ch);
    if (at.instrument)
        ch.instrument = at.instrument;
    if (note && glide && ch.sounding) {
        ch.gliding = true;
        ch.target = at.note;
        ch.glide_from = ch.pitch;
        ch.glide_line = line;
        ch.glide_ticks = 0;
    } else if (note) {
        ch.sounding = true;
        ch.pitch = at.note;
    }
    if (at.effect == GLIDE && at.param)
        ch.glide_speed = at.param;
    if (glide && ch.gliding) {
        const double step = ch.glide_speed / 16.0 * (ticks - 1);
        const double gap = ch.target - ch.pitch;
        ch.pitch = std::fabs(gap) <= step ? ch.target : ch.pitch + (gap > 0 ? step : -step);
        ch.glide_ticks += ticks - 1;
    }
    if (at.effect == VIBRATO && (at.param & 15))
        ch.vibrato_depth = at.param & 15;
    if (at.effect == VIBRATO || at.effect == VIBRATO_AND_SLIDE)
        check_vibrato(c, ch, line, at);
    else
        ch.vibrato_told = false;
    if (note)
        ch.vibrato_told = false;
}

}  // namespace

std::vector<score_error> check_tuning(const song &piece) {
    checker c{piece, {}, {}};
    std::vector<channel_state> channels(static_cast<std::size_t>(piece.channels));
    int ticks = piece.speed;
    for (int index : piece.order) {
        const pattern &p = piece.patterns[static_cast<std::size_t>(index)];
        for (int r = 0; r < p.rows; r++) {
            const std::size_t row = static_cast<std::size_t>(r) * channels.size();
            for (std::size_t ch = 0; ch < channels.size(); ch++) {
                const cell &at = p.cells[row + ch];
                if (at.effect == SET_SPEED && at.param > 0 && at.param < FIRST_BPM)
                    ticks = at.param;
            }
            for (std::size_t ch = 0; ch < channels.size(); ch++)
                play_cell(c, channels[ch], p.cells[row + ch], p.lines[row + ch], ticks);
        }
    }
    for (channel_state &ch : channels)
        end_glide(c, ch);
    std::stable_sort(c.faults.begin(), c.faults.end(),
                     [](const score_error &a, const score_error &b) { return a.line < b.line; });
    return c.faults;
}
