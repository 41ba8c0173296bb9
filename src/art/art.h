// Art cards, the glyph font and the routines that put words, cards and the
// scroller on `screen`.
//
// An art card is a small text file under grafik/ read whole into a zeroed
// buffer and blitted with `mutta`: spaces are transparent, newlines start the
// next line, every other byte becomes a cell. A card is read at most to its
// buffer's size less one byte, so its text always ends with a zero byte inside
// the buffer, whatever the file's length.
#pragma once

#include <cstddef>
#include <cstdio>

// The beat of the title sequences: a title card is held a whole number of
// beats, and the show starts scene instances on it.
constexpr long TITLE_BEAT_US = 525000;

// Size of every card buffer; a card holds at most CARD_SIZE - 1 bytes.
constexpr std::size_t CARD_SIZE = 5000;

// The opening cards; `ching` reuses buf3 to buf5.
extern char buf1[CARD_SIZE], buf2[CARD_SIZE], buf3[CARD_SIZE], buf4[CARD_SIZE], buf5[CARD_SIZE],
    buf6[CARD_SIZE], buf7[CARD_SIZE];
// Global card slots: 1 to 13 the signal cards, 19 the card put up under the waves.
extern char kuka[20][CARD_SIZE];

// The glyph font: glyph j is the card of character table[j].
constexpr int GLYPHS = 66;
extern char letters[GLYPHS + 1][CARD_SIZE];
// '-' ',' ':' '!', the digits, then each letter lower case before upper case;
// the last entry is 0 and ends the table. A space has no glyph.
extern int table[GLYPHS + 1];

// Zeroes `buf` and reads the art file `path` into it, at most `size` - 1
// bytes. Only a regular file is read: the file is opened without waiting (a
// FIFO or a device there cannot hold the show up) and anything else is left
// unread. Returns false when nothing could be read from the file (missing,
// unreadable, not a regular file), which leaves the buffer all zero and draws
// nothing, and notes the file for say_art_problems; a longer file is cut.
bool read_art(char *buf, std::size_t size, const char *path);

// Writes one line to `to` for each art file that could not be read since the
// program started, each file once, in the order they were met:
// "<program>: cannot load <path>: <reason>". Returns the number of lines.
int say_art_problems(std::FILE *to, const char *program);

// Index of the glyph of `c` in `letters` (the first table entry equal to c),
// or -1 when `c` has no glyph (a space, '?', a NUL, ...).
int glyph_index(char c);
// The glyph card of `c`, or nullptr when it has none.
const char *glyph(char c);

// Loads the 66 glyphs from "grafik/letters/<character>".
void load_font();

// Writes a short word in the glyph font across the middle of the screen, glyphs
// 9 columns apart at row 7, white blocks, then holds it `hold_us` microseconds.
// Neither clears the screen before nor after.
void puttext(const char *s, long hold_us);

// Sine scroller: scrolls `s` from right to left in the glyph font, 2 columns a
// frame, one frame every 40 ms, each glyph riding a sine curve between rows 4
// and 10. Returns after ceil(13 * length / 2) frames. Texts longer than the
// canvas holds are clipped; nothing is ever written outside it.
void scrolla(const char *s);

// One glyph of a scroller frame: the top-left corner on the screen and the
// character drawn there.
struct scroll_glyph {
    int x;
    int y;
    char c;
};
// The most glyph corners a frame can hold (at most 7 lie on the screen).
constexpr int SCROLL_MAX_GLYPHS = 8;
// Canvas width in columns.
constexpr int SCROLL_CANVAS = 4080;

// Empties the whole canvas; `scrolla` does this before its first frame.
void scroll_clear();
// Lays out one frame of the scroller for `s` (of `chars` characters) with
// layout column `start` on the canvas, reads the visible window left to right,
// clears what it read, and stores the glyph corners of that frame in `out`
// (characters without a glyph included; the caller skips them). Returns the
// number stored. Frame f (from 1) has start = 15 * chars + 122 - 2 * f.
int scroll_frame(const char *s, long chars, long start, scroll_glyph out[SCROLL_MAX_GLYPHS]);

// Title sequences: each loads its cards and shows them one by one on a blue
// screen as white blocks, pausing between them.
void ching_intro();
void pirate_ninja_robot_zombie_mutant_alien_signals_from_outer_space_intro();
void man_eating_plasma_vortex_from_hell_intro();
void moonwalk_intro();
void fire_intro();
void fireworks_intro();
void plasma_attack_intro();

// Three cards flashed in colour 3 on black, 4 seconds in all; the third card
// stays on the screen.
void ching();
