// The recorder's reading of the show's stream and its picture of the terminal.
#include <gtest/gtest.h>

#include <climits>
#include <iterator>
#include <string>
#include <vector>

#include "cells.h"
#include "screen/render.h"
#include "stream.h"
#include "stream_format.h"
#include "term.h"

namespace {

const std::string PREAMBLE = [] {
    std::string s = "\033c\033[?25l";
    for (int y = 0; y < 24; y++)
        s += std::string(80, ' ') + "\n";
    return s;
}();

// A frame whose cells are all `cell`, 11 bytes each.
std::string frame(const std::string &cell = "\033[1;37;44m ") { return uniform_frame(cell); }

struct parsed {
    std::vector<unit_kind> kinds;
    std::vector<frame_codes> frames;
    std::string error;
    std::size_t left = 0;  // bytes of a unit cut short
};

// Reads `s` arriving `piece` bytes at a time, as the recorder reads its pipe.
parsed parse_in_pieces(const std::string &s, std::size_t piece) {
    parsed r;
    static stream_reader reader;
    reader = stream_reader{};
    for (std::size_t at = 0; at < s.size() && r.error.empty(); at += piece) {
        std::string bytes = s.substr(at, piece);
        feed_status st =
            stream_feed(reader, bytes.data(), bytes.size(),
                        [&](unit_kind kind, const frame_codes &f, const char *, std::size_t) {
                            r.kinds.push_back(kind);
                            if (kind == unit_kind::frame)
                                r.frames.push_back(f);
                            return true;
                        });
        if (st == feed_status::bad)
            r.error = reader.parser.error;
    }
    r.left = reader.pending.size();
    return r;
}

TEST(RecordStream, GoodFramesInAnyPiecesAndALastFrameCutShort) {
    std::string first = frame();
    first.replace(72, 11, "\033[0;31;40mA");  // the first cell
    first.replace(72 + 23 * 881 + 79 * 11, 11,
                  std::string("\033[1;43;53m\0", 11));  // the last, a NUL
    std::string s = PREAMBLE + first + frame() + frame().substr(0, 5000);
    for (std::size_t piece : {1u, 7u, 4096u, 1u << 20}) {
        parsed r = parse_in_pieces(s, piece);
        EXPECT_EQ(r.error, "");
        ASSERT_EQ(r.kinds,
                  (std::vector<unit_kind>{unit_kind::reset, unit_kind::hide_cursor,
                                          unit_kind::reserve, unit_kind::frame, unit_kind::frame}));
        EXPECT_EQ(r.left, 5000u);
        const cell_code &a = r.frames[0].cells[0][0], &z = r.frames[0].cells[23][79],
                        &b = r.frames[1].cells[5][6];
        EXPECT_EQ(std::vector<int>({a.attr, a.fg, a.bg, a.data}),
                  std::vector<int>({0, 31, 40, 'A'}));
        EXPECT_EQ(std::vector<int>({z.attr, z.fg, z.bg, z.data}), std::vector<int>({1, 43, 53, 0}));
        EXPECT_EQ(std::vector<int>({b.attr, b.fg, b.bg, b.data}),
                  std::vector<int>({1, 37, 44, ' '}));
    }
}

// Whatever a cell holds, the render thread prints what the recorder reads:
// numbers held to 0..9999, any byte that would steer the terminal as a space.
TEST(RecordStream, EveryCellTheRenderThreadPrintsIsRead) {
    const struct {
        framebuffer_point cell;
        cell_code printed;
    } cases[] = {
        {{'@', 1, 13, 12}, {1, 43, 52, '@'}},  // a worm's colours, raw
        {{'~', 0, -30, -40}, {0, 0, 0, '~'}},
        {{'x', 9999, 9969, 9959}, {9999, 9999, 9999, 'x'}},
        {{'x', -1, 9970, INT_MAX}, {0, 9999, 9999, 'x'}},
        {{'x', INT_MIN, INT_MIN, -41}, {0, 0, 0, 'x'}},
        {{'\t', 1, 7, 4}, {1, 37, 44, ' '}},
        {{'\033', 1, 7, 4}, {1, 37, 44, ' '}},
        {{'\x7f', 1, 7, 4}, {1, 37, 44, ' '}},
        {{'\xe9', 1, 7, 4}, {1, 37, 44, ' '}},
        {{'\0', 1, 7, 4}, {1, 37, 44, 0}},
    };
    print_screen();
    fill(1, 7, 4, ' ');
    for (int k = 0; k < static_cast<int>(std::size(cases)); k++)
        cell_set(screen[k * 7][k % HEIGHT], cases[k].cell);
    static char out[FRAME_MAX];
    parsed r = parse_in_pieces(PREAMBLE + std::string(out, encode_frame(out)), 1u << 20);
    ASSERT_EQ(r.error, "");
    ASSERT_EQ(r.frames.size(), 1u);
    for (int k = 0; k < static_cast<int>(std::size(cases)); k++) {
        const cell_code &got = r.frames[0].cells[k % HEIGHT][k * 7], &want = cases[k].printed;
        EXPECT_EQ(std::vector<int>({got.attr, got.fg, got.bg, got.data}),
                  std::vector<int>({want.attr, want.fg, want.bg, want.data}))
            << "case " << k;
    }
}

TEST(RecordStream, MalformedInputStopsWithTheByteAndTheFrame) {
    const std::string good = PREAMBLE + frame() + frame();
    ASSERT_EQ(PREAMBLE.size(), 8 + RESERVE_BYTES);  // the reset and the cursor hiding first
    ASSERT_EQ(frame().size(), FRAME_BYTES);
    ASSERT_EQ(PREAMBLE.size() + FRAME_BYTES, 23168u);
    // Frame 2 starts at byte 23168, its first cell at 23240.
    struct bad_case {
        std::size_t at;
        std::string bytes, error;
    } cases[] = {
        {1, "C", "byte 1 (before frame 1): expected the terminal reset ESC c"},
        {7, "h", "byte 7 (before frame 1): expected the cursor hiding ESC [?25l"},
        {108, "x", "byte 108 (before frame 1): expected the 80 spaces of a reserved line"},
        {23239, "B", "byte 23239 (frame 2): expected the cursor-up ESC [A that starts a frame"},
        {23244, "x", "byte 23244 (frame 2): expected a decimal number of 1 to 4 digits"},
        {23244, "0", "byte 23244 (frame 2): expected a decimal number of 1 to 4 digits"},
        {23246, ":", "byte 23246 (frame 2): expected ';'"},
        {23249, "M", "byte 23249 (frame 2): expected 'm'"},
        {23250, "\t", "byte 23250 (frame 2): expected a printable character or NUL"},
        {23250, "\033", "byte 23250 (frame 2): expected a printable character or NUL"},
        {24120, " ", "byte 24120 (frame 2): expected the newline that ends a row"},
    };
    for (const bad_case &c : cases) {
        std::string s = good;
        s.replace(c.at, c.bytes.size(), c.bytes);
        parsed r = parse_in_pieces(s, 4096);
        EXPECT_EQ(r.error, c.error) << "at " << c.at;
        EXPECT_EQ(r.frames.size(), c.at < 23168 ? 0u : 1u) << "at " << c.at;
    }
    std::string s = good;
    s.replace(23244, 2, "12345");
    EXPECT_EQ(parse_in_pieces(s, 4096).error,
              "byte 23244 (frame 2): expected a decimal number of 1 to 4 digits");
}

terminal after(const std::string &stream) {
    terminal t;
    static stream_reader reader;
    reader = stream_reader{};
    stream_feed(reader, stream.data(), stream.size(),
                [&](unit_kind kind, const frame_codes &f, const char *, std::size_t) {
                    term_apply(t, kind, f);
                    return true;
                });
    return t;
}

console_font vga_font() {
    console_font font;
    EXPECT_EQ(load_font("/usr/share/consolefonts/Lat15-VGA16.psf.gz", font), "");
    return font;
}

TEST(RecordPicture, ChosenCellsToExactPixels) {
    std::string f = frame("\033[0;37;40m ");
    f.replace(72, 33, "\033[0;31;44mA\033[1;31;44mA\033[1;43;53m ");
    terminal t = after(PREAMBLE + f);
    console_font font = vga_font();
    ASSERT_EQ(font.height, 16);
    std::vector<std::uint8_t> rgb(640 * 400 * 3);
    render_rgb(t, font, rgb.data());
    auto px = [&](int x, int y) {
        const std::uint8_t *p = &rgb[(static_cast<std::size_t>(y) * 640 + x) * 3];
        return static_cast<std::uint32_t>(p[0] << 16 | p[1] << 8 | p[2]);
    };
    // The glyph of A: row 2 is 0x10, row 7 is 0xfe.
    EXPECT_EQ(px(3, 2), 0xaa0000u);  // red ink
    EXPECT_EQ(px(2, 2), 0x0000aau);  // blue paper
    EXPECT_EQ(px(6, 7), 0xaa0000u);
    EXPECT_EQ(px(7, 7), 0x0000aau);
    EXPECT_EQ(px(8 + 6, 7), 0xff5555u);  // bold: bright red
    EXPECT_EQ(px(8 + 3, 3), 0xff5555u);
    EXPECT_EQ(px(8 + 0, 3), 0x0000aau);
    EXPECT_EQ(px(16 + 4, 0), 0xff5555u);  // overline, in the ink left by the cell before
    EXPECT_EQ(px(16 + 4, 1), 0xaa5500u);
    EXPECT_EQ(px(100, 23 * 16 + 8), 0x000000u);
    EXPECT_EQ(px(100, 24 * 16 + 8), 0x000000u);  // the 25th line stays blank

    std::vector<std::uint8_t> yuv(1280 * 800 * 3 / 2);
    render_yuv2x(t, font, yuv.data());
    for (int dy = 0; dy < 2; dy++)
        for (int dx = 0; dx < 2; dx++)
            EXPECT_EQ(yuv[(4 + dy) * 1280 + 6 + dx], 47);  // red ink at (3, 2), 2x2 pixels
    EXPECT_EQ(yuv[4 * 1280 + 4], 27);                      // blue paper at (2, 2)
    EXPECT_EQ(yuv[1280 * 800 + 2 * 640 + 3], 111);         // its U and V
    EXPECT_EQ(yuv[1280 * 800 * 5 / 4 + 2 * 640 + 3], 203);
}

TEST(RecordPicture, OddColourNumbersAsTmuxShowsThem) {
    // The worms print colours 8 to 13 raw. tmux reads 38 and 48 as an
    // extended colour that swallows the next number, 39/49 as the defaults,
    // 50 to 52 as nothing and 53 as overline (capture-pane -e, 80x25).
    std::string f = frame("\033[0;37;40m ");
    f.replace(72, 99,
              "\033[1;31;44mA\033[1;38;48mB\033[1;39;49mC\033[1;40;50mD\033[1;41;51mE"
              "\033[1;42;52mF\033[1;43;53mG\033[0;35;45mH\033[0;38;48mI");
    terminal t = after(PREAMBLE + f);
    const int expected[9][4] = {
        // bold, overline, fg, bg (-1 the default)
        {1, 0, 1, 4},  {1, 0, 1, 4},  {1, 0, -1, -1}, {1, 0, -1, 0},  {1, 0, -1, 1},
        {1, 0, -1, 2}, {1, 1, -1, 3}, {0, 0, 5, 5},   {0, 0, -1, -1},
    };
    for (int x = 0; x < 9; x++) {
        const pen &p = t.cells[0][x].look;
        EXPECT_EQ(std::vector<int>({p.bold, p.overline, p.fg, p.bg}),
                  std::vector<int>(expected[x], expected[x] + 4))
            << "cell " << x;
        EXPECT_EQ(t.cells[0][x].ch, 'A' + x);
    }
    // Drawn: bold default ink is bright white, default paper black.
    EXPECT_EQ(ink_of(t.cells[0][2].look), 15);
    EXPECT_EQ(paper_of(t.cells[0][2].look), 0);
}

TEST(RecordPicture, NulCellsLeaveTheTerminalAsItWas) {
    std::string nul_frame = frame(std::string("\033[0;30;40m\0", 11));
    terminal t = after(PREAMBLE + frame("\033[1;37;44mX") + nul_frame);
    EXPECT_EQ(t.cells[12][40].ch, 'X');
    EXPECT_EQ(paper_of(t.cells[12][40].look), 4);
    EXPECT_EQ(t.row, 24);
    EXPECT_EQ(t.col, 0);
}

}  // namespace
