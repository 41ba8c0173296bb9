// A stand-in glyph font whose glyph for each character is that character
// alone, so that a drawn glyph shows as one cell at its corner.
#pragma once

// Puts the stand-in into `letters`, in place of whatever font was loaded.
void use_one_cell_font();
