// cast_compact: rewrites an asciicast of the show with whole frames (the
// recorder's full form) into the compact form: the same header (its
// "frames" now "compact") and event times, the writes before the first frame
// as they were, and each frame as the bytes that change the screen. The cast
// is read by the one reader (cast_check.h) and written by the one writer
// (cast_file.h), so what this takes cast_check takes, and what it writes too.
// A cast that is not the show's full form is refused; the output appears
// whole or not at all, and only over nothing or a regular file that is not
// the input.

#include <cstdio>
#include <fstream>
#include <string>

#include "cast_check.h"
#include "output_guard.h"
#include "tool_options.h"

namespace {

const char USAGE[] = "usage: cast_compact FULL.cast COMPACT.cast\n"
                     "\n"
                     "Rewrites an asciicast of the show with whole frames into the compact form.\n";

}  // namespace

int main(int argc, char **argv) {
    tool_options line("cast_compact", USAGE);
    if (const int status = line.parse(argc, argv, 2, 2); status >= 0)
        return status;
    const std::string from = line.operands()[0], to = line.operands()[1];
    remove_temporaries_on_signals();
    std::string err;
    output_file out;
    if (!out.open(to, err, {from})) {
        std::fprintf(stderr, "cast_compact: %s\n", err.c_str());
        return 1;
    }
    std::ifstream in(from, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cast_compact: cannot read %s\n", from.c_str());
        return 1;
    }
    std::string bytes;
    err = compact_cast(in, bytes);
    if (!err.empty()) {
        std::fprintf(stderr, "cast_compact: %s: %s\n", from.c_str(), err.c_str());
        return 1;
    }
    if (!out.write(bytes.data(), bytes.size(), err) || !out.commit(err)) {
        std::fprintf(stderr, "cast_compact: %s\n", err.c_str());
        return 1;
    }
    return 0;
}
