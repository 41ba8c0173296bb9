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
#include "screen/screen.h"

namespace fs = std::filesystem;

// Creates a fresh temporary directory and makes it the working directory for
// the lifetime of the object; removes it and returns to the old one after.
class temp_workdir {
public:
    temp_workdir() : old_(fs::current_path()) {
        std::string pattern = (fs::temp_directory_path() / "art_test_XXXXXX").string();
        char *made = mkdtemp(pattern.data());
        if (!made)
            std::abort();
        dir_ = made;
        fs::current_path(dir_);
    }
    ~temp_workdir() {
        fs::current_path(old_);
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    temp_workdir(const temp_workdir &) = delete;
    temp_workdir &operator=(const temp_workdir &) = delete;

    const fs::path &path() const { return dir_; }

    // Writes `content` to the relative path `name`, creating directories.
    void write(const std::string &name, const std::string &content) const {
        fs::path p = dir_ / name;
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << content;
    }

private:
    fs::path old_;
    fs::path dir_;
};

// Every glyph becomes the single cell of its own character.
inline void use_one_cell_font() {
    std::memset(letters, 0, sizeof letters);
    for (int j = 0; j < GLYPHS; j++)
        letters[j][0] = static_cast<char>(table[j]);
}

inline bool is_glyph_cell(const framebuffer_point &p) {
    return p.attr == 1 && p.fg == 7 && p.bg == 7;
}
