// xmc <score> <out.xm>: compiles a text score into an XM module.
//
// A malformed score is reported as "score:line: error: message" (every fault
// of its tuning, the first of anything else) with exit status 1. The module
// is written whole under a temporary name beside the output and renamed onto
// it, and only ever as a regular file: a device, FIFO, directory or link at
// the output path is refused. Every failure leaves no file at the output path.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "score.h"

namespace {

// A score longer than this is no score (the show's are under 100 KB).
constexpr std::size_t MAX_SCORE_BYTES = 4 << 20;

const char *USAGE = "usage: xmc SCORE OUT.xm\n"
                    "Compiles a text score (its language is described in tools/xmc/score.h)\n"
                    "into an XM module.\n";

// The score's text, read up to MAX_SCORE_BYTES; false with a message on failure.
bool read_score(const std::string &path, std::string &text) {
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) {
        std::cerr << path << ": cannot read the score: " << std::strerror(errno) << '\n';
        return false;
    }
    char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0 && text.size() <= MAX_SCORE_BYTES)
        text.append(buf, n);
    const bool failed = std::ferror(f);
    std::fclose(f);
    if (failed)
        std::cerr << path << ": cannot read the score\n";
    else if (text.size() > MAX_SCORE_BYTES)
        std::cerr << path << ": longer than " << (MAX_SCORE_BYTES >> 20)
                  << " MB, too long for a score\n";
    return !failed && text.size() <= MAX_SCORE_BYTES;
}

// What stands at the output path when it is not a regular file (or nothing), else null.
const char *not_a_regular_file(const std::string &path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode))
        return nullptr;
    if (S_ISDIR(st.st_mode))
        return "a directory";
    if (S_ISFIFO(st.st_mode))
        return "a FIFO";
    if (S_ISLNK(st.st_mode))
        return "a symbolic link";
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        return "a device";
    return "not a regular file";
}

// A failed compilation leaves nothing standing for the score, not even an
// earlier module.
void remove_output(const std::string &out) {
    if (!not_a_regular_file(out))
        unlink(out.c_str());
}

// Writes the module under a temporary name beside `out`, then renames it onto `out`.
bool write_module(const std::string &out, const std::vector<uint8_t> &bytes) {
    std::string temp = out + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    bool ok = fd >= 0;
    const mode_t mask = umask(0);
    umask(mask);
    ok = ok && fchmod(fd, 0666 & ~mask) == 0;
    for (std::size_t done = 0; ok && done < bytes.size();) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        done += ok ? static_cast<std::size_t>(n) : 0;
    }
    if (fd >= 0)
        ok = close(fd) == 0 && ok;
    ok = ok && !not_a_regular_file(out) && std::rename(temp.c_str(), out.c_str()) == 0;
    if (!ok) {
        std::cerr << out << ": cannot write the module: " << std::strerror(errno) << '\n';
        if (fd >= 0)
            unlink(temp.c_str());
    }
    return ok;
}

void report(const std::string &score, const score_error &e) {
    std::cerr << score;
    if (e.line > 0)
        std::cerr << ':' << e.line;
    std::cerr << ": error: " << e.message << '\n';
}

// The module's bytes, or none after the score's faults are reported.
std::vector<uint8_t> compile(const std::string &score, const std::string &text) {
    song piece;
    score_error error;
    std::vector<uint8_t> bytes;
    if (!parse_score(text, piece, error)) {
        report(score, error);
        return {};
    }
    const std::vector<score_error> faults = check_tuning(piece);
    for (const score_error &e : faults)
        report(score, e);
    if (faults.empty() && !write_xm(piece, bytes, error))
        report(score, error);
    return bytes;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc == 2 && std::string(argv[1]) == "--help") {
        std::cout << USAGE;
        return 0;
    }
    if (argc != 3) {
        std::cerr << USAGE;
        return 2;
    }
    const std::string score = argv[1], out = argv[2];
    if (const char *what = not_a_regular_file(out)) {
        std::cerr << out << ": is " << what << "; the module is written only as a regular file\n";
        return 1;
    }
    std::string text;
    const std::vector<uint8_t> bytes =
        read_score(score, text) ? compile(score, text) : std::vector<uint8_t>();
    if (bytes.empty() || !write_module(out, bytes)) {
        remove_output(out);
        return 1;
    }
    return 0;
}
