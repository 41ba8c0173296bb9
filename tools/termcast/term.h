// The terminal the show prints to (WIDTH by TERM_HEIGHT) as tmux reads the show's bytes,
// and its picture drawn with a console bitmap font in the 16 VGA colours.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "stream.h"

constexpr int DEFAULT_COLOUR = -1;

// What an SGR sequence leaves in force: colours 0 to 15, or DEFAULT_COLOUR.
struct pen {
    bool bold = false, overline = false;
    int fg = DEFAULT_COLOUR, bg = DEFAULT_COLOUR;
    bool operator==(const pen &) const = default;
};

struct term_cell {
    unsigned char ch = ' ';
    pen look;
    bool operator==(const term_cell &) const = default;
};

struct terminal {
    term_cell cells[TERM_HEIGHT][WIDTH];
    int row = 0, col = 0;
    bool wrap_pending = false;  // the last column was just written
    pen now;
    bool operator==(const terminal &) const = default;
};

// One SGR sequence with its parameters, read the way tmux reads them.
void term_sgr(terminal &t, const int *params, int count);
// One byte of text; a newline arrives as the tty gives it (carriage return too).
void term_put(terminal &t, unsigned char b);

// What a whole unit of the show's stream does to the terminal.
void term_apply(terminal &t, unit_kind kind, const frame_codes &f);

struct console_font {
    int height = 0;                    // rows of 8 pixels per glyph
    std::vector<std::uint8_t> glyphs;  // height bytes per glyph
    int index[128] = {};               // glyph of each ASCII character
};

// Loads a PSF1 console font (gzip-compressed or not) with its Unicode table;
// returns an empty string or what went wrong.
std::string load_font(const std::string &path, console_font &font);

// The colour indexes a cell is drawn with: bold brightens the foreground,
// the default foreground is white and the default background black.
int ink_of(const pen &p);
int paper_of(const pen &p);

// Picture of the terminal as 24-bit RGB, WIDTH*8 by TERM_HEIGHT*height.
void render_rgb(const terminal &t, const console_font &font, std::uint8_t *rgb);
// The picture scaled 2x (nearest neighbour) as planar YUV 4:2:0, BT.709 TV range.
void render_yuv2x(const terminal &t, const console_font &font, std::uint8_t *yuv);
