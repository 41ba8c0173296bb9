// The compact asciicast: each frame's bytes, replayed after the ones before,
// leave the terminal exactly as the show's whole frames do.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "cast.h"
#include "child.h"
#include "stream.h"
#include "temp_dir.h"
#include "term.h"

namespace {

// The first difference in how two terminals look, or "".
std::string difference(const terminal &a, const terminal &b) {
    auto pen_text = [](const pen &p) {
        return std::to_string(ink_of(p)) + "/" + std::to_string(paper_of(p)) +
               (p.overline ? "^" : "");
    };
    for (int y = 0; y < TERM_HEIGHT; y++)
        for (int x = 0; x < WIDTH; x++) {
            const term_cell &p = a.cells[y][x], &q = b.cells[y][x];
            if (p.ch != q.ch || pen_text(p.look) != pen_text(q.look))
                return "cell " + std::to_string(y) + "," + std::to_string(x) + ": " +
                       std::string(1, static_cast<char>(p.ch)) + pen_text(p.look) + " vs " +
                       std::string(1, static_cast<char>(q.ch)) + pen_text(q.look);
        }
    if (a.row != b.row || a.col != b.col || a.wrap_pending != b.wrap_pending)
        return "cursor " + std::to_string(a.row) + "," + std::to_string(a.col) +
               (a.wrap_pending ? "+" : "") + " vs " + std::to_string(b.row) + "," +
               std::to_string(b.col) + (b.wrap_pending ? "+" : "");
    if (pen_text(a.now) != pen_text(b.now))
        return "pen " + pen_text(a.now) + " vs " + pen_text(b.now);
    return "";
}

struct replayed {
    long frames = 0;
    std::size_t full_bytes = 0, compact_bytes = 0;
    std::string error;
};

// Reads a stream of the show: the full terminal takes its units whole, the
// compact one the units before the first frame as printed, then each
// frame's delta; after every unit both must agree.
replayed replay_both(const std::string &stream) {
    replayed r;
    terminal full, compact;
    stream_parser ps;
    static frame_codes f;
    std::size_t pos = 0, used = 0;
    unit_kind kind;
    while (r.error.empty() && next_unit(ps, stream.data() + pos, stream.size() - pos, kind, f,
                                        used) == parse_status::done) {
        std::string bytes = cast_unit(full, kind, f, stream.data() + pos, used);
        cast_replay(compact, bytes);
        if (kind == unit_kind::frame) {
            r.frames++;
            r.full_bytes += used;
            r.compact_bytes += bytes.size();
        }
        r.error = difference(compact, full);
        if (!r.error.empty())
            r.error = "after frame " + std::to_string(r.frames) + ": " + r.error;
        pos += used;
    }
    return r;
}

TEST(RecordCast, ExactBytesForASmallChange) {
    terminal before;
    before.row = 24;
    terminal after = before;
    after.cells[3][5] = after.cells[3][6] = {'A', {true, false, 1, 4}};
    after.cells[3][6].ch = 'B';
    after.cells[3][9] = {'C', {true, false, 1, 4}};
    after.cells[4][79] = {'D', {false, true, 12, 9}};
    after.cells[5][0] = {'E', {false, true, 12, 9}};
    EXPECT_EQ(cast_frame_delta(before, after),
              "\033[4;6H\033[1;31;44mAB\033[2CC\033[5;80H\033[0;53;94;101mDE\033[25H\033[0m");
    EXPECT_EQ(cast_frame_delta(after, after), "");
}

TEST(RecordCast, AnyScreenToAnyOther) {
    // Random screens, pens of all 16 colours and the defaults, cursors
    // anywhere, a wrap pending or not.
    std::mt19937 rng(7);
    auto any = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    auto random_pen = [&] { return pen{any(2) == 1, any(2) == 1, any(17) - 1, any(17) - 1}; };
    terminal a, compact;
    for (int round = 0; round < 300; round++) {
        terminal b = a;
        int changes = round % 3 == 0 ? 2000 : any(40);
        for (int k = 0; k < changes; k++)
            b.cells[any(TERM_HEIGHT)][any(WIDTH)] = {static_cast<unsigned char>(' ' + any(95)),
                                                     random_pen()};
        b.row = any(TERM_HEIGHT);
        b.wrap_pending = any(4) == 0;
        b.col = b.wrap_pending ? WIDTH - 1 : any(WIDTH);
        b.now = random_pen();
        cast_replay(compact, cast_frame_delta(a, b));
        ASSERT_EQ(difference(compact, b), "") << "round " << round;
        a = b;
    }
}

TEST(RecordCast, StandInFramesWithOddColours) {
    // Frames as the show prints them, with the raw colour numbers the worms
    // print (38 to 43 and 48 to 53), bold, NUL cells and the JSON-escaped
    // characters, each frame changing all, some or none of the cells.
    std::mt19937 rng(11);
    auto any = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    std::string stream = "\033c\033[?25l";
    for (int y = 0; y < 24; y++)
        stream += std::string(80, ' ') + "\n";
    std::string cells[24][80];
    for (auto &row : cells)
        for (std::string &c : row)
            c = "\033[0;37;40m ";
    const char chars[] = {' ', ' ', '#', 'o', '"', '\\', '\0', '~'};
    for (int k = 0; k < 120; k++) {
        int odds = k % 4 == 0 ? 1000 : k % 4 == 1 ? 30 : k % 4 == 2 ? 1 : 0;
        for (int y = 0; y < 24; y++)
            stream += "\033[A";
        for (auto &row : cells) {
            for (std::string &c : row) {
                if (any(1000) < odds)
                    c = "\033[" + std::to_string(any(2)) + ";" + std::to_string(30 + any(14)) +
                        ";" + std::to_string(40 + any(14)) + "m" + chars[any(8)];
                stream += c;
            }
            stream += "\n";
        }
    }
    replayed r = replay_both(stream);
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.frames, 120);
}

TEST(RecordCast, WholeShowAtTenfoldSpeed) {
    temp_dir dir;
    child_result show =
        run_child("cd " + dir.path().string() +
                  " && cp -r " SOURCE_DIR "/grafik . && SOUND_DOUBLE_SPEEDUP=10 " DEMO_WITH_DOUBLE);
    ASSERT_EQ(show.status, 0);
    replayed r = replay_both(show.out);
    EXPECT_EQ(r.error, "");
    EXPECT_GT(r.frames, 300);
    // Most of a frame stays as it was: the deltas are a small part of the whole.
    EXPECT_LT(r.compact_bytes * 8, r.full_bytes) << r.compact_bytes << " of " << r.full_bytes;
}

}  // namespace
