// The walking figure's building blocks, open to tests.
#pragma once

#include <cstddef>

// Writes into `target` (`size` bytes, zeroed first) the mirror image of the
// card `source` (a text within `size` bytes): for each of the card's first N
// lines, N being its line feeds not counting one in the very first byte, the
// line feed first and then the line's other bytes in reverse order. Text after
// the last of those lines is dropped. Blitted one row higher, the mirrored
// card covers the rows the source covers; trailing spaces turn into leading,
// transparent ones. Nothing is written past `size` - 1 bytes.
void mirror_card(char *target, const char *source, std::size_t size);

// Screen column of the walking figure's card at position x: mirrored cards
// (`eek` 0) are blitted at 4x - 12 on row 0, cards as loaded at 4x + 1 on row 1.
inline int moonwalk_column(int eek, int x) { return eek ? 4 * x + 1 : 4 * x + 1 - 13; }
inline int moonwalk_row(int eek) { return eek ? 1 : 0; }
