// Reading a screenshot of a terminal emulator cell by cell: the test card
// the check prints first, where on the screen the card's grid lies and which
// colours the emulator shows for each ink and paper, then how many cells of a
// later screenshot show the paper and ink that the recorder's terminal holds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "stream.h"
#include "term.h"

// A screenshot as 0xRRGGBB pixels, row after row.
struct image {
    int w = 0, h = 0;
    std::vector<std::uint32_t> px;
    std::uint32_t at(int x, int y) const { return px[static_cast<std::size_t>(y) * w + x]; }
};

// Reads an X window dump (what `xwd -root` writes, 24 or 32 bits a pixel in
// any byte order) or a binary PPM; returns an empty string or what went wrong.
std::string read_image(const std::string &path, image &img);
// The bytes of a binary PPM of the image, for looking at a screenshot.
std::string ppm_bytes(const image &img);

// Colour keys: the ANSI colours 0 to 15 as the recorder's terminal reads a
// pen (bold brightens the ink), and the emulator's own default colours.
constexpr int INK_DEFAULT = 16, INK_DEFAULT_BOLD = 17, PAPER_DEFAULT = 18, KEYS = 19;
int ink_key(const pen &p);
int paper_key(const pen &p);

// The colours an emulator showed on the test card, 0xRRGGBB, -1 where the
// card had no sample.
struct palette {
    long ink[KEYS], paper[KEYS];
};

// The test card: a frame in the show's own format, red paper everywhere
// (so its extent marks the grid), with rows of paper and ink samples and a row
// of the raw colour codes 38 to 53 the worms print.
frame_codes test_card();
// The recorder's terminal once the card is printed after a reset.
terminal card_terminal();
// The raw codes on the card: code c (8 to 13) printed as "1;3c;4c" after a
// white-on-blue cell, at row RAW_ROW from column raw_column(c) on.
constexpr int RAW_ROW = 9, RAW_FIRST = 8, RAW_LAST = 13;
int raw_column(int c);

// Where the 80 by 24 frame lies in a screenshot, in pixels.
struct grid_place {
    double x0 = 0, y0 = 0, cw = 0, ch = 0;
};

// Finds the card's grid: the extent of its paper colour, the commonest
// colour of the picture other than the root window's (the bottom right
// pixel). Returns an empty string or why the card was not found.
std::string find_grid(const image &card, grid_place &g);
// Reads the emulator's colours from the card's samples.
std::string read_palette(const image &card, const grid_place &g, palette &pal);

// What one cell of a screenshot shows: its commonest colour (the paper) and
// how many of its pixels lie close to a given colour.
std::uint32_t cell_paper(const image &img, const grid_place &g, int col, int row);

// How many of the frame's cells (rows 0 to 23 of the terminal) show the paper
// the recorder's terminal holds and, where a glyph is visible, its ink.
// The cells that do not are added to `misses` (row * WIDTH + column).
int cells_matching(const image &img, const grid_place &g, const palette &pal, const terminal &t,
                   std::vector<int> *misses = nullptr);
// Draws a frame of `colour` round each of the cells, to show where a
// screenshot differs.
void outline_cells(image &img, const grid_place &g, const std::vector<int> &cells,
                   std::uint32_t colour);

// How the emulator drew the raw code c of the card, in words: the paper it
// showed as the nearest key of its palette ("blue", "black/default"), and
// the recorder's reading where that differs.
std::string raw_reading(const image &card, const grid_place &g, const palette &pal, int c);
