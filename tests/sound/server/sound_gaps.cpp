// Reads a recording of the show's sound (raw signed 16-bit little-endian
// stereo, as parec writes it) and reports what a listener would hear break:
//
// - the cards: every stretch of sound before the music, which starts after
//   the first second-long silence; each card's sound must start and end
//   without a click (its first and last sample under -45 dBFS) and hold one
//   stab;
// - dropouts: every run of exact digital silence of 2 ms or more between the
//   start of the music and its last sound (the music holds none).
//
//     sound_gaps [--music-only] FILE RATE
//
// --music-only: the recording holds the music alone, from its first sound.
// Exit status 0 when there were five clean cards (none asked for with
// --music-only) and no dropout, 1 otherwise, 2 when the file cannot be read.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr int QUIET = 184;  // -45 dBFS
constexpr int LOUD = 1036;  // -30 dBFS
constexpr int CARDS = 5;

struct run {
    long from, to;  // frames [from, to)
};

std::vector<int> frame_peaks(const std::vector<int16_t> &s) {
    std::vector<int> p(s.size() / 2);
    for (std::size_t i = 0; i < p.size(); i++)
        p[i] = std::max(std::abs(int(s[2 * i])), std::abs(int(s[2 * i + 1])));
    return p;
}

// Runs of frames that are exactly zero in both channels, at least `min` long.
std::vector<run> silences(const std::vector<int> &peak, long min) {
    std::vector<run> out;
    long n = static_cast<long>(peak.size());
    for (long i = 0; i < n;) {
        if (peak[i]) {
            i++;
            continue;
        }
        long j = i;
        while (j < n && !peak[j])
            j++;
        if (j - i >= min)
            out.push_back({i, j});
        i = j;
    }
    return out;
}

int max_peak(const std::vector<int> &peak, long from, long to) {
    int p = 0;
    for (long i = from; i < to; i++)
        p = std::max(p, peak[i]);
    return p;
}

// Stabs in a card: rises past -30 dBFS after a millisecond under -45 dBFS.
int stabs(const std::vector<int> &peak, run card, int ms) {
    int count = 0;
    bool on = false;
    for (long w = card.from; w + ms <= card.to; w += ms) {
        int p = max_peak(peak, w, w + ms);
        count += !on && p > LOUD;
        on = p > LOUD || (on && p >= QUIET);
    }
    return count;
}

}  // namespace

int main(int argc, char **argv) {
    bool music_only = argc > 1 && std::strcmp(argv[1], "--music-only") == 0;
    if (argc != 3 + music_only || std::atoi(argv[2 + music_only]) < 8000) {
        std::fprintf(stderr, "usage: sound_gaps [--music-only] FILE RATE\n");
        return 2;
    }
    const char *path = argv[1 + music_only];
    const int rate = std::atoi(argv[2 + music_only]), ms = rate / 1000;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "sound_gaps: cannot read %s\n", path);
        return 2;
    }
    std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> s(raw.size() / 2);
    std::memcpy(s.data(), raw.data(), 2 * s.size());
    std::vector<int> peak = frame_peaks(s);
    const long n = static_cast<long>(peak.size());

    long first = 0, last = n;
    while (first < n && !peak[first])
        first++;
    while (last > first && !peak[last - 1])
        last--;
    if (first == n) {
        std::printf("no sound at all\n");
        return 1;
    }

    // The cards end where the first silence of a second begins.
    long music = first;
    bool ok = true;
    if (!music_only) {
        std::vector<run> cards;
        long at = first;
        for (const run &gap : silences(peak, 2 * ms)) {
            if (gap.from < first)
                continue;
            cards.push_back({at, gap.from});
            at = gap.to;
            if (gap.to - gap.from >= rate) {
                music = gap.to;
                break;
            }
        }
        if (music == first) {
            std::printf("no music after the cards\n");
            return 1;
        }
        std::printf("cards: %zu (want %d); stabs, first and last sample:", cards.size(), CARDS);
        ok = cards.size() == CARDS;
        for (const run &c : cards) {
            int k = stabs(peak, c, ms), head = peak[c.from], tail = peak[c.to - 1];
            std::printf(" [%d %d %d]", k, head, tail);
            ok = ok && k == 1 && head < QUIET && tail < QUIET;
        }
        std::printf("\n");
    }

    int dropouts = 0;
    long silent = 0, longest = 0;
    for (const run &gap : silences(peak, 2 * ms)) {
        if (gap.from < music || gap.to > last)
            continue;
        dropouts++;
        silent += gap.to - gap.from;
        longest = std::max(longest, gap.to - gap.from);
    }
    double seconds = static_cast<double>(last - music) / rate;
    std::printf("music: %.1f s, dropouts: %d, silent: %ld ms, longest: %ld ms\n", seconds, dropouts,
                silent / ms, longest / ms);
    return ok && dropouts == 0 ? 0 : 1;
}
