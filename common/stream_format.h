// The show's printed stream: every byte the show writes to standard output
// once its sound is ready (before that it prints there only the message of a
// sound failure). Start-up and the render thread print it from these names,
// the recorder reads it by them.
//
// The stream is four kinds of unit, in this order:
//   1. RESET, once: the terminal's full reset, ESC c.
//   2. HIDE_CURSOR, once: ESC [ ? 2 5 l.
//   3. The reservation, once: HEIGHT lines of WIDTH spaces, each ended by a
//      newline (RESERVE_BYTES in all), so that the terminal has the lines the
//      frames are printed over.
//   4. Frames, one every FRAME_PAUSE_US microseconds plus the time to print it,
//      until the process ends: FRAME_CURSOR_UPS times CURSOR_UP, which brings
//      the cursor back to the first reserved line, then HEIGHT rows, each of
//      WIDTH cells and a newline.
// A cell is ESC [ attr ; fg ; bg m and its byte, where
//   attr is the SGR attribute (the show prints 0 normal and 1 bold),
//   fg   is FG_BASE + the foreground colour number,
//   bg   is BG_BASE + the background colour number,
// each a decimal number from 0 to PARAM_MAX with no sign and no leading zero
// (1 to PARAM_DIGITS digits). The show's colours are 0 to 7, the worms' up to
// 13, so it prints 30 to 43 and 40 to 53; a cell field whose number would fall
// outside 0 to PARAM_MAX is printed at the nearer end (stream_param).
// The byte is a space or printable ASCII (0x20 to 0x7e), or NUL for a cell of
// the composite frame that no layer ever covered; any other byte of a cell is
// printed as a space (stream_byte), since it would steer the terminal rather
// than show.
// The process may end in the middle of a frame only when it is killed; when
// the show ends by itself the last frame is whole.
#pragma once

#include <cstddef>

// The picture: WIDTH columns by HEIGHT rows of cells.
constexpr int WIDTH = 80;
constexpr int HEIGHT = 24;
// The terminal lines the stream needs: the picture's rows and the line below
// them, where the cursor rests after each frame.
constexpr int TERM_HEIGHT = HEIGHT + 1;

constexpr char RESET[] = "\033c";
constexpr char HIDE_CURSOR[] = "\033[?25l";
// A reserved line is WIDTH times RESERVE_FILL and ROW_END; a frame's row of
// cells ends with ROW_END too.
constexpr char RESERVE_FILL = ' ';
constexpr char ROW_END = '\n';
constexpr std::size_t RESERVE_BYTES = HEIGHT * (WIDTH + 1);

constexpr char CURSOR_UP[] = "\033[A";
constexpr std::size_t CURSOR_UP_BYTES = sizeof CURSOR_UP - 1;
constexpr int FRAME_CURSOR_UPS = HEIGHT;
// The render thread's pause after each frame, in microseconds.
constexpr long FRAME_PAUSE_US = 30000;

// A cell's escape sequence: CELL_START, the three numbers separated by
// PARAM_SEPARATOR, CELL_END, then the byte.
constexpr char CELL_START[] = "\033[";
constexpr char PARAM_SEPARATOR = ';';
constexpr char CELL_END = 'm';
constexpr int FG_BASE = 30;
constexpr int BG_BASE = 40;
constexpr int PARAM_MAX = 9999;
constexpr int PARAM_DIGITS = 4;

// The number printed for a cell field: `base` + the field, held to 0..PARAM_MAX.
constexpr int stream_param(int field, int base = 0) {
    const long v = static_cast<long>(field) + base;
    return v < 0 ? 0 : v > PARAM_MAX ? PARAM_MAX : static_cast<int>(v);
}

// Whether the stream may carry `b` as a cell's byte.
constexpr bool stream_byte_ok(unsigned char b) { return b == 0 || (b >= 0x20 && b <= 0x7e); }

// The byte printed for a cell holding `c`.
constexpr char stream_byte(char c) {
    return stream_byte_ok(static_cast<unsigned char>(c)) ? c : ' ';
}

// A cell whose attribute is one digit and whose colours are 0 to 7, as every
// cell of the show but the worms' is: ESC, '[', 'a', ';', "3f", ';', "4b", 'm'
// and the byte.
constexpr std::size_t CELL_BYTES = 11;
// The longest cell: three numbers of PARAM_DIGITS digits.
constexpr std::size_t CELL_MAX_BYTES = sizeof CELL_START - 1 + 3 * PARAM_DIGITS + 2 + 1 + 1;
// A frame of CELL_BYTES cells, and the longest frame.
constexpr std::size_t FRAME_BYTES =
    FRAME_CURSOR_UPS * CURSOR_UP_BYTES + HEIGHT * (WIDTH * CELL_BYTES + 1);
constexpr std::size_t FRAME_MAX =
    FRAME_CURSOR_UPS * CURSOR_UP_BYTES + HEIGHT * (WIDTH * CELL_MAX_BYTES + 1);
