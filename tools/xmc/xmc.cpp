// xmc <score> <out.xm>: compiles a text score into an XM module.
//
// A malformed score is reported as "score:line: error: message" (every fault
// of its tuning, the first of anything else) with exit status 1. The module
// is written whole beside the output and moved onto it, and only ever as a
// regular file: a device, FIFO, directory or link at the output path, or the
// score itself, is refused. A failure leaves whatever was at the path as it was.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "output_guard.h"
#include "score.h"
#include "tool_options.h"

namespace {

// A score longer than this is no score (the show's are under 100 KB).
constexpr std::size_t MAX_SCORE_BYTES = 4 << 20;

const char *USAGE = "usage: xmc SCORE OUT.xm\n"
                    "\n"
                    "Compiles a text score (its language is described in tools/xmc/score.h)\n"
                    "into an XM module.\n";

// A message's text with its control bytes written as \xNN: a score's bytes
// quoted in an error, or a path's, never reach the terminal as ESC or NUL.
std::string printable(const std::string &text) {
    std::string out;
    for (const unsigned char c : text) {
        if (c >= 0x20 && c != 0x7f) {
            out += static_cast<char>(c);
            continue;
        }
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02x", c);
        out += hex;
    }
    return out;
}

// The score's text, read up to MAX_SCORE_BYTES; false with a message on failure.
bool read_score(const std::string &path, std::string &text) {
    // Opened without waiting for a writer: a FIFO nobody writes to reads as
    // empty instead of holding the compiler up, one being written (a shell's
    // <(...)) reads as it is written.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    FILE *f = fd < 0 ? nullptr : fdopen(fd, "rb");
    if (!f) {
        std::cerr << printable(path) << ": cannot read the score: " << std::strerror(errno) << '\n';
        if (fd >= 0)
            close(fd);
        return false;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0 && text.size() <= MAX_SCORE_BYTES)
        text.append(buf, n);
    const int read_errno = errno;
    const bool failed = std::ferror(f);
    std::fclose(f);
    if (failed)
        std::cerr << printable(path) << ": cannot read the score: " << std::strerror(read_errno)
                  << '\n';
    else if (text.size() > MAX_SCORE_BYTES)
        std::cerr << printable(path) << ": longer than " << (MAX_SCORE_BYTES >> 20)
                  << " MB, too long for a score\n";
    return !failed && text.size() <= MAX_SCORE_BYTES;
}

// Writes the module whole beside `out` and moves it into place.
bool write_module(const std::string &out, const std::string &score,
                  const std::vector<uint8_t> &bytes) {
    output_file module;
    std::string error;
    if (!module.open(out, error, {score}) || !module.write(bytes.data(), bytes.size(), error) ||
        !module.commit(error)) {
        std::cerr << "xmc: " << printable(error) << '\n';
        return false;
    }
    return true;
}

void report(const std::string &score, const score_error &e) {
    std::cerr << printable(score);
    if (e.line > 0)
        std::cerr << ':' << e.line;
    std::cerr << ": error: " << printable(e.message) << '\n';
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
    tool_options options("xmc", USAGE);
    if (const int status = options.parse(argc, argv, 2, 2); status >= 0)
        return status;
    const std::string score = options.operands()[0], out = options.operands()[1];
    remove_temporaries_on_signals();
    // Checked before the work, so that a refused output costs no compilation.
    if (const std::string refused = output_refusal(out, {score}); !refused.empty()) {
        std::cerr << "xmc: " << printable(refused) << '\n';
        return 1;
    }
    std::string text;
    const std::vector<uint8_t> bytes =
        read_score(score, text) ? compile(score, text) : std::vector<uint8_t>();
    return !bytes.empty() && write_module(out, score, bytes) ? 0 : 1;
}
