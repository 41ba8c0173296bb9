// The compact asciicast: instead of every frame printed whole, only the bytes
// that change what the terminal shows, in plain sequences any player reads.
#pragma once

#include <cstddef>
#include <string>

#include "term.h"

// The bytes that take a terminal showing `before` to showing `after`: a
// cursor move to each stretch of changed cells, the cells printed, an SGR
// (colours 0 to 15 and the defaults, bold, overline) only where the pen
// changes, then the pen and the cursor as `after` has them, so the next
// frame's bytes can start from `after`. Cells and pens count as the same when
// they look the same; bold in the default ink is printed as bold white.
std::string cast_frame_delta(const terminal &before, const terminal &after);

// Reads such bytes into the terminal: cursor moves (CUP, CUU, CUD, CUF, CUB),
// SGR, the reset ESC c, newlines and printable characters; any other escape
// sequence is skipped.
void cast_replay(terminal &t, const std::string &bytes);

// What one unit of the show's stream becomes in the compact cast: the units
// before the first frame as printed, a frame as its delta. `shown` is the
// terminal so far and takes the unit.
std::string cast_unit(terminal &shown, unit_kind kind, const frame_codes &f, const char *bytes,
                      std::size_t n);

// The bytes p[0..n) as an asciicast event's JSON string: quotes, backslashes
// and control bytes escaped, and each newline as the tty gives it, "\r\n".
std::string cast_json_string(const char *p, std::size_t n);
