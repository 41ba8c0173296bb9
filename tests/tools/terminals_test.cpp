// The terminal check: its reading of screenshots (synthetic screenshots of an
// emulator with a palette of its own, drawn from the recorder's terminal), and
// its relay of the show, with the recorder's stand-in show.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "cells.h"
#include "child.h"
#include "shot.h"
#include "temp_dir.h"

namespace {

// An emulator unlike the VGA console: soft colours, bold ink not brightened
// except for white, default colours of its own.
struct emulator {
    long ink[KEYS], paper[KEYS];
    emulator() {
        const long base[8] = {0x1d1f21, 0xcc6666, 0xb5bd68, 0xf0c674,
                              0x81a2be, 0xb294bb, 0x8abeb7, 0xc5c8c6};
        for (int k = 0; k < 8; k++) {
            ink[k] = ink[k + 8] = paper[k] = base[k];
            paper[k + 8] = -1;
        }
        ink[15] = 0xffffff;
        ink[INK_DEFAULT] = ink[INK_DEFAULT_BOLD] = 0xeaeaea;
        paper[INK_DEFAULT] = paper[INK_DEFAULT_BOLD] = -1;
        ink[PAPER_DEFAULT] = -1;
        paper[PAPER_DEFAULT] = 0x202020;
    }
};

const grid_place PLACE{6, 31, 7, 13};  // below a menu bar, cells of 7x13
constexpr std::uint32_t ROOT = 0x000000, MENU = 0xd0d0d0;

void fill(image &img, int x0, int y0, int w, int h, std::uint32_t c) {
    for (int y = y0; y < y0 + h; y++)
        for (int x = x0; x < x0 + w; x++)
            img.px[static_cast<std::size_t>(y) * img.w + x] = c;
}

// Paper in the whole cell; a glyph as a bar and a stem of ink with one pixel
// blended halfway into the paper, as anti-aliasing leaves it.
void draw_cell(image &img, int col, int row, std::uint32_t paper, std::uint32_t ink, bool glyph) {
    int x = 6 + 7 * col, y = 31 + 13 * row;
    fill(img, x, y, 7, 13, paper);
    if (!glyph)
        return;
    fill(img, x + 1, y + 6, 5, 1, ink);
    fill(img, x + 3, y + 3, 1, 7, ink);
    std::uint32_t half = ((ink & 0xfefefe) >> 1) + ((paper & 0xfefefe) >> 1);
    fill(img, x + 4, y + 3, 1, 1, half);
}

image screen_of(const terminal &t, const emulator &e) {
    image img;
    img.w = 640;
    img.h = 400;
    img.px.assign(static_cast<std::size_t>(img.w) * img.h, ROOT);
    fill(img, 0, 0, 580, 30, MENU);
    fill(img, 0, 30, 572, 340, static_cast<std::uint32_t>(e.paper[PAPER_DEFAULT]));
    for (int y = 0; y < HEIGHT; y++)
        for (int x = 0; x < WIDTH; x++) {
            const term_cell &c = t.cells[y][x];
            auto paper = static_cast<std::uint32_t>(e.paper[paper_key(c.look)]);
            auto ink = static_cast<std::uint32_t>(e.ink[ink_key(c.look)]);
            draw_cell(img, x, y, paper, ink, c.ch != ' ');
        }
    return img;
}

terminal printed(const frame_codes &f) {
    terminal t;
    frame_codes none{};
    term_apply(t, unit_kind::reset, none);
    term_apply(t, unit_kind::reserve, none);
    term_apply(t, unit_kind::frame, f);
    return t;
}

TEST(TerminalCheck, TheCardGivesTheGridAndTheEmulatorsColours) {
    emulator e;
    image card = screen_of(card_terminal(), e);
    grid_place g;
    ASSERT_EQ(find_grid(card, g), "");
    EXPECT_DOUBLE_EQ(g.x0, 6);
    EXPECT_DOUBLE_EQ(g.y0, 31);
    EXPECT_DOUBLE_EQ(g.cw, 7);
    EXPECT_DOUBLE_EQ(g.ch, 13);
    palette pal;
    ASSERT_EQ(read_palette(card, g, pal), "");
    for (int k = 0; k < KEYS; k++) {
        bool ink = k < 16 || k == INK_DEFAULT || k == INK_DEFAULT_BOLD;
        EXPECT_EQ(pal.ink[k], ink ? e.ink[k] : -1) << k;
        EXPECT_EQ(pal.paper[k], k < 8 || k == PAPER_DEFAULT ? e.paper[k] : -1) << k;
    }
    // The raw codes as the recorder reads them: 38;48 keeps the blue before
    // it, 39;49 gives the default colours, 40;50 to 43;53 set the paper.
    EXPECT_EQ(raw_reading(card, g, pal, 8), "blue");
    EXPECT_EQ(raw_reading(card, g, pal, 9), "default");
    EXPECT_EQ(raw_reading(card, g, pal, 11), "red");
    EXPECT_EQ(raw_reading(card, g, pal, 13), "yellow");
}

TEST(TerminalCheck, AnEmulatorThatReadsARawCodeOtherwiseIsNamed) {
    emulator e;
    terminal t = card_terminal();
    // This emulator takes 38;48 as the default colours.
    for (int i = 1; i <= 4; i++)
        t.cells[RAW_ROW][raw_column(8) + i].look.bg = DEFAULT_COLOUR;
    // and shows default paper in its black.
    e.paper[PAPER_DEFAULT] = e.paper[0];
    image card = screen_of(t, e);
    grid_place g;
    palette pal;
    ASSERT_EQ(find_grid(card, g), "");
    ASSERT_EQ(read_palette(card, g, pal), "");
    EXPECT_EQ(raw_reading(card, g, pal, 8), "black/default, where the recorder has blue");
    EXPECT_EQ(raw_reading(card, g, pal, 9), "black/default");
}

TEST(TerminalCheck, CellsMatchOnlyWithTheirPaperAndVisibleInk) {
    emulator e;
    image card = screen_of(card_terminal(), e);
    grid_place g;
    palette pal;
    ASSERT_EQ(find_grid(card, g), "");
    ASSERT_EQ(read_palette(card, g, pal), "");

    frame_codes f;
    for (int y = 0; y < HEIGHT; y++)
        for (int x = 0; x < WIDTH; x++)
            f.cells[y][x] = {x % 2, 30 + x % 8, 40 + y % 8, static_cast<unsigned char>('!' + x)};
    f.cells[3][3] = {0, 37, 47, '#'};  // a solid block: white ink on white paper
    f.cells[5][5] = {1, 39, 49, 'R'};  // the default colours
    terminal t = printed(f);
    image shot = screen_of(t, e);
    EXPECT_EQ(cells_matching(shot, g, pal, t), 1920);

    // A block drawn without its glyph is still the block the recorder holds.
    draw_cell(shot, 3, 3, static_cast<std::uint32_t>(e.paper[7]), 0, false);
    EXPECT_EQ(cells_matching(shot, g, pal, t), 1920);
    // A bold capital covering most of its cell, and a glyph so small that
    // anti-aliasing leaves only two pixels near its ink, still match.
    auto paper7 = static_cast<std::uint32_t>(e.paper[7]);
    auto ink15 = static_cast<std::uint32_t>(e.ink[15]);
    draw_cell(shot, 7, 7, paper7, ink15, false);  // (7,7): bold white on white
    fill(shot, 6 + 7 * 7, 31 + 13 * 7 + 1, 7, 8, ink15);
    draw_cell(shot, 15, 7, paper7, ink15, false);
    fill(shot, 6 + 7 * 15 + 2, 31 + 13 * 7 + 1, 2, 1, ink15 - 0x202020);
    EXPECT_EQ(cells_matching(shot, g, pal, t), 1920);
    // Wrong paper, wrong ink, and a glyph left out cost one cell each.
    draw_cell(shot, 0, 0, 0x00ff00, static_cast<std::uint32_t>(e.ink[0]), true);
    draw_cell(shot, 10, 7, static_cast<std::uint32_t>(e.paper[7]), 0xff00ff, true);
    draw_cell(shot, 79, 23, static_cast<std::uint32_t>(e.paper[7]), 0, false);
    EXPECT_EQ(cells_matching(shot, g, pal, t), 1917);
    // A picture of another emulator's colours matches nowhere near whole.
    emulator vga;
    for (int k = 0; k < 8; k++)
        vga.paper[k] = 0x101010 * (k + 1);
    EXPECT_LT(cells_matching(screen_of(t, vga), g, pal, t), 960);
}

TEST(TerminalCheck, ScreensWithoutTheCardAreRefused) {
    image black;
    black.w = 640;
    black.h = 400;
    black.px.assign(640 * 400, ROOT);
    grid_place g;
    EXPECT_EQ(find_grid(black, g), "the screen is empty: no window showed");
    // A picture of a frame, not the card: its border is not one paper.
    frame_codes f;
    for (auto &row : f.cells)
        for (cell_code &c : row)
            c = {0, 37, 44, ' '};
    for (int x = 0; x < WIDTH; x += 3)
        f.cells[0][x] = {0, 37, 42, ' '};
    std::string why = find_grid(screen_of(printed(f), emulator()), g);
    EXPECT_EQ(why, "the test card was not found: 177 of the 204 cells round it show its paper");
}

// A 3 by 2 window dump as xwd writes it on a little-endian machine.
std::string xwd_bytes(int bytes_per_pixel, const std::uint32_t *pixels) {
    std::string d;
    auto be = [&](std::uint32_t v) {
        for (int s = 24; s >= 0; s -= 8)
            d += static_cast<char>(v >> s);
    };
    const std::uint32_t header[25] = {104,
                                      7,
                                      2,
                                      24,
                                      3,
                                      2,
                                      0,
                                      0,
                                      32,
                                      0,
                                      32,
                                      static_cast<std::uint32_t>(8 * bytes_per_pixel),
                                      static_cast<std::uint32_t>(4 * bytes_per_pixel),
                                      4,
                                      0xff0000,
                                      0xff00,
                                      0xff,
                                      8,
                                      256,
                                      1,
                                      3,
                                      2,
                                      0,
                                      0,
                                      0};
    for (std::uint32_t v : header)
        be(v);
    d += std::string("ab\0\0", 4);  // the window's name
    d += std::string(12, '\0');     // one colour map entry
    for (int y = 0; y < 2; y++) {
        for (int x = 0; x < 3; x++)
            for (int b = 0; b < bytes_per_pixel; b++)
                d += static_cast<char>(pixels[y * 3 + x] >> (8 * b));
        d += std::string(static_cast<std::size_t>(bytes_per_pixel), '\x55');  // line padding
    }
    return d;
}

TEST(TerminalCheck, WindowDumpsAndPpmsAreReadAndBrokenOnesRefused) {
    temp_dir dir;
    const std::uint32_t px[6] = {0x102030, 0xff0000, 0x00ff00, 0x0000ff, 0xffffff, 0x000001};
    for (int bpp : {4, 3}) {
        std::string path = dir.write("shot.xwd", xwd_bytes(bpp, px));
        image img;
        ASSERT_EQ(read_image(path, img), "") << bpp;
        ASSERT_EQ(img.w, 3);
        ASSERT_EQ(img.h, 2);
        for (int i = 0; i < 6; i++)
            EXPECT_EQ(img.px[static_cast<std::size_t>(i)], px[i]) << bpp << " " << i;
        image again;
        ASSERT_EQ(read_image(dir.write("shot.ppm", ppm_bytes(img)), again), "");
        EXPECT_EQ(again.px, img.px);
    }
    std::string whole = xwd_bytes(4, px);
    image img;
    EXPECT_EQ(read_image(dir.write("cut.xwd", whole.substr(0, whole.size() - 5)), img),
              dir.path("cut.xwd") + ": a window dump cut short");
    // A comment in the header, as ImageMagick writes one.
    ASSERT_EQ(read_image(dir.write("note.ppm", "P6\n# a note\n1 1\n255\n\x01\x02\x03"), img), "");
    EXPECT_EQ(img.px, std::vector<std::uint32_t>{0x010203});
    EXPECT_EQ(read_image(dir.write("cut.ppm", "P6\n3 2\n255\nabc"), img),
              dir.path("cut.ppm") + ": a PPM cut short");
    EXPECT_EQ(read_image(dir.write("text", "hello, world"), img),
              dir.path("text") + ": neither a window dump nor a PPM");
    EXPECT_EQ(read_image(dir.path("missing"), img), "cannot read " + dir.path("missing"));
}

}  // namespace

// The relay itself, with the stand-in show and its standard output on a file
// instead of an emulator: about 1.5 seconds a run.
struct relay_run {
    child_result child;
    std::string result;
};

relay_run relay(const temp_dir &dir, const std::string &env, const std::string &options) {
    std::string cmd = "cd '" + dir.path().string() + "' && SDL_DISKAUDIOFILE=sound.raw " + env +
                      " '" TERMINAL_CHECK "' --run-dir . --demo '" FAKE_SHOW "' --out . " + options;
    relay_run r{run_child(cmd), ""};
    std::ifstream in(dir.path("result"));
    std::getline(in, r.result, '\0');
    // The stand-in's helper waits to be ended, as a show's children might.
    std::ifstream helper(dir.path("helper.pid"));
    pid_t pid = 0;
    if (helper >> pid && pid > 0)
        kill(pid, SIGTERM);
    return r;
}

std::string line_of(const std::string &result, const std::string &key) {
    std::size_t at = result.find("\n" + key + " ");
    if (result.rfind(key + " ", 0) == 0)
        at = 0;
    else if (at == std::string::npos)
        return "";
    else
        at++;
    return result.substr(at, result.find('\n', at) - at);
}

TEST(TerminalRelay, PassesTheShowOnUnchangedAndSaysHowItEnded) {
    {
        // The whole show, its last frame cut short by its end, byte for byte.
        temp_dir dir;
        relay_run r = relay(dir, "", "");
        ASSERT_EQ(r.child.status, 0);
        const std::string black = uniform_frame("\033[0;37;40m "),
                          white = uniform_frame("\033[0;37;47m ");
        std::string shown = "\033c\033[?25l" + uniform_frame(" ").substr(24 * 3);
        for (int k = 0; k < 40; k++)
            shown += k < 20 ? black : white;
        shown += black.substr(0, black.size() / 2);
        EXPECT_TRUE(r.child.out == shown) << r.child.out.size() << " bytes, not " << shown.size();
        EXPECT_EQ(line_of(r.result, "frames"), "frames 40");
        EXPECT_EQ(line_of(r.result, "exit"), "exit 0");
        // Every frame of the stand-in is blank inside: one wipe, at its first frame.
        EXPECT_EQ(line_of(r.result, "wipes").find(' ', 6), std::string::npos) << r.result;
    }
    {
        // A show that fails at once: its message reaches the emulator as printed.
        temp_dir dir;
        relay_run r = relay(dir, "FAKE_SHOW_MODE=exit3", "");
        EXPECT_EQ(r.child.out, "cannot open the sound device\n");
        EXPECT_EQ(line_of(r.result, "exit"), "exit 3");
        EXPECT_EQ(r.child.status, 1);  // a show that failed by itself fails the check
        EXPECT_EQ(line_of(r.result, "stream"),
                  "stream byte 0 (before frame 1): expected the terminal reset ESC c");
    }
    {
        // A show that never ends, played for a second, and read slowly.
        temp_dir dir;
        relay_run r = relay(dir, "FAKE_SHOW_MODE=forever", "--for 1 --read-rate 200000");
        EXPECT_EQ(line_of(r.result, "exit"), "exit stopped after 1 s");
        std::string frames = line_of(r.result, "frames");
        ASSERT_FALSE(frames.empty());
        int n = std::atoi(frames.c_str() + 7);
        // At 200 KB/s no more than about ten frames of 21 KB fit in a second.
        EXPECT_GE(n, 1);
        EXPECT_LE(n, 12);
    }
    // A bad option is named, with status 2.
    EXPECT_EQ(run_child("'" TERMINAL_CHECK "' --at 3,x 2>/dev/null").status, 2);
}

// Every file the check writes goes through the tools' guard, and the places
// are looked at before the show starts: a link or a FIFO at OUT/show.err, a
// folder at OUT/result, an output or run folder that is not there each end
// the check with its reason and status 1, the link's target as it was and no
// show started (the stand-in writes show.pid when it starts).
TEST(TerminalRelay, RefusesItsPlacesBeforeTheShow) {
    temp_dir dir;
    const std::string victim = dir.write("victim.txt", "keep me\n");
    std::filesystem::create_directories(dir.path("link"));
    std::filesystem::create_symlink(victim, dir.path("link/show.err"));
    std::filesystem::create_directories(dir.path("fifo"));
    ASSERT_EQ(mkfifo(dir.path("fifo/show.err").c_str(), 0600), 0);
    std::filesystem::create_directories(dir.path("taken/result"));
    const struct {
        std::string options, message;
    } CASES[] = {
        {"--out link", "link/show.err is a symbolic link; the output is written only as"},
        {"--out fifo", "fifo/show.err is a FIFO; the output is written only as"},
        {"--out taken", "taken/result is a folder; the output is written only as"},
        {"--out none", "the output folder none is not a folder that exists"},
        {"--run-dir none", "the run folder none is not a folder that exists"},
    };
    for (const auto &c : CASES) {
        // A check that waits on the FIFO is killed after 20 s and fails here.
        relay_run r = relay(dir, "timeout -s KILL 20", c.options + " 2>&1");
        EXPECT_EQ(r.child.status, 1) << c.options;
        EXPECT_EQ(r.child.out.rfind("terminal_check: " + c.message, 0), 0u) << r.child.out;
        EXPECT_FALSE(std::filesystem::exists(dir.path("show.pid"))) << c.options;
    }
    // A child still waiting to open the FIFO for the show is let go.
    close(open(dir.path("fifo/show.err").c_str(), O_RDONLY | O_NONBLOCK));
    std::ifstream in(victim);
    std::string kept((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(kept, "keep me\n");
}

// Each photograph is read against the frame the emulator was showing when it
// was taken, not against the test card, and counts the cells that really
// match: with `xwd` standing in for the camera, the card is photographed
// first and then, at both moments, a screen whose upper half shows black
// paper and lower half white. The stand-in's frames are all black or all
// white, so whichever frame a photograph falls on, half its cells match.
TEST(TerminalRelay, EachPhotographIsReadAgainstItsOwnFrame) {
    temp_dir dir;
    emulator e;
    frame_codes halves;
    for (int y = 0; y < HEIGHT; y++)
        for (int x = 0; x < WIDTH; x++)
            halves.cells[y][x] = {0, 37, y < HEIGHT / 2 ? 40 : 47, ' '};
    dir.write("card.ppm", ppm_bytes(screen_of(card_terminal(), e)));
    dir.write("halves.ppm", ppm_bytes(screen_of(printed(halves), e)));
    const std::string d = dir.path().string();
    dir.write("bin/xwd", "#!/bin/sh\n"
                         "for out; do :; done\n"
                         "if [ -e '" +
                             d + "/card-taken' ]; then cp '" + d +
                             "/halves.ppm' \"$out\"\n"
                             "else touch '" +
                             d + "/card-taken'; cp '" + d + "/card.ppm' \"$out\"; fi\n");
    ASSERT_EQ(chmod(dir.path("bin/xwd").c_str(), 0755), 0);

    relay_run r = relay(dir, "PATH='" + d + "/bin':\"$PATH\"", "--at 0.1,0.5 --hold 0.05");
    ASSERT_EQ(r.child.status, 0);
    ASSERT_EQ(line_of(r.result, "card").rfind("card grid", 0), 0u) << r.result;
    int shots = 0;
    for (std::size_t at = r.result.find("\nshot "); at != std::string::npos;
         at = r.result.find("\nshot ", at + 1)) {
        std::string line = r.result.substr(at + 1, r.result.find('\n', at + 1) - at - 1);
        EXPECT_NE(line.find(" matched 960 of 1920"), std::string::npos) << line;
        shots++;
    }
    EXPECT_EQ(shots, 2) << r.result;
}
