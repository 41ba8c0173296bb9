// Helpers shared by the art tests: a temporary working directory with small
// card files, and a stand-in font whose glyph for each character is that
// character alone, so a drawn glyph shows as one cell at its corner.
#pragma once

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "art/art.h"
#include "workdir.h"
#include "screen/screen.h"

namespace fs = std::filesystem;

// Every glyph becomes the single cell of its own character.
inline void use_one_cell_font() {
    std::memset(letters, 0, sizeof letters);
    for (int j = 0; j < GLYPHS; j++)
        letters[j][0] = static_cast<char>(table[j]);
}

inline bool is_glyph_cell(const framebuffer_point &p) {
    return p.attr == 1 && p.fg == 7 && p.bg == 7;
}
