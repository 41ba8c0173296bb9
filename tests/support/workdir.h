// A fresh temporary directory that is the working directory for the lifetime
// of the object, for tests that give the show small card files of their own.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

class temp_workdir {
public:
    temp_workdir() : old_(std::filesystem::current_path()) {
        std::string pattern = (std::filesystem::temp_directory_path() / "demo_test_XXXXXX").string();
        char *made = mkdtemp(pattern.data());
        if (!made)
            std::abort();
        dir_ = made;
        std::filesystem::current_path(dir_);
    }
    ~temp_workdir() {
        std::filesystem::current_path(old_);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    temp_workdir(const temp_workdir &) = delete;
    temp_workdir &operator=(const temp_workdir &) = delete;

    const std::filesystem::path &path() const { return dir_; }

    // Writes `content` to the relative path `name`, creating directories.
    void write(const std::string &name, const std::string &content) const {
        std::filesystem::path p = dir_ / name;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << content;
    }

private:
    std::filesystem::path old_;
    std::filesystem::path dir_;
};
