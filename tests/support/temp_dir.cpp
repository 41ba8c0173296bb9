#include "temp_dir.h"

#include <cstdlib>
#include <fstream>

#include <unistd.h>

temp_dir::temp_dir(mode m) {
    std::string pattern = (std::filesystem::temp_directory_path() / "demo-test-XXXXXX").string();
    char *made = mkdtemp(pattern.data());
    if (!made)
        std::abort();
    dir = made;
    if (m == ENTER) {
        before = std::filesystem::current_path();
        std::filesystem::current_path(dir);
    }
}

temp_dir::~temp_dir() {
    std::error_code ec;
    if (!before.empty())
        std::filesystem::current_path(before, ec);
    std::filesystem::remove_all(dir, ec);
}

std::string temp_dir::write(const std::string &name, const std::string &content) const {
    std::filesystem::path p = dir / name;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << content;
    return p.string();
}
