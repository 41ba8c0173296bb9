// A fresh directory under the system's temporary directory, removed with all
// it holds when the object goes. Made with ENTER it is also the working
// directory for the object's lifetime, for tests that give the show card files
// of their own.
#pragma once

#include <filesystem>
#include <string>

class temp_dir {
public:
    enum mode { STAY, ENTER };
    explicit temp_dir(mode m = STAY);
    ~temp_dir();
    temp_dir(const temp_dir &) = delete;
    temp_dir &operator=(const temp_dir &) = delete;

    const std::filesystem::path &path() const { return dir; }
    // The full path of `name` inside the directory.
    std::string path(const std::string &name) const { return (dir / name).string(); }
    // Writes `content` to the relative path `name`, creating directories, and
    // returns its full path.
    std::string write(const std::string &name, const std::string &content) const;

private:
    std::filesystem::path dir;
    std::filesystem::path before;  // the working directory to go back to, when entered
};
