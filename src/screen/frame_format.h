// The bytes the render thread prints. Before the first frame it reserves the
// screen's rows with RESERVE_BYTES: HEIGHT lines of WIDTH spaces and a newline.
// Each frame is then FRAME_CURSOR_UPS cursor-ups (CURSOR_UP, ESC [ A), which
// bring the cursor back over those rows, and HEIGHT rows of WIDTH cells and a
// newline; a cell is ESC [ attr ; 30 + fg ; 40 + bg m and its byte.
#pragma once

#include <cstddef>

#include "screen/screen.h"

constexpr char CURSOR_UP[] = "\033[A";
constexpr std::size_t CURSOR_UP_BYTES = sizeof CURSOR_UP - 1;
constexpr int FRAME_CURSOR_UPS = HEIGHT;
constexpr std::size_t RESERVE_BYTES = HEIGHT * (WIDTH + 1);

// A cell whose attribute is one digit and whose colours are 0 to 7, as every
// cell of the show but the worms' is: ESC, '[', 'a', ';', "3f", ';', "4b", 'm'
// and the byte.
constexpr std::size_t CELL_BYTES = 11;
// A frame of such cells.
constexpr std::size_t FRAME_BYTES =
    FRAME_CURSOR_UPS * CURSOR_UP_BYTES + HEIGHT * (WIDTH * CELL_BYTES + 1);
// The largest possible frame: each of a cell's three numbers up to 11
// characters (an int with its sign).
constexpr std::size_t FRAME_MAX =
    FRAME_CURSOR_UPS * CURSOR_UP_BYTES + HEIGHT * (WIDTH * (5 + 3 * 11) + 1);
