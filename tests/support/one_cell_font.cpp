#include "one_cell_font.h"

#include <cstring>

#include "art/art.h"

void use_one_cell_font() {
    std::memset(letters, 0, sizeof letters);
    for (int j = 0; j < GLYPHS; j++)
        letters[j][0] = static_cast<char>(table[j]);
}
