// cast_check: reads a cast of the show as the web page takes it and, when it
// is whole and valid, prints what the page maker needs, one fact a line:
//   first_frame SECONDS   the first frame's time (where the video starts)
//   frames compact|full   the form of its frames
//   length SECONDS        the last event's time
//   poster "..."          with --poster S: the picture S seconds after the
//                         first frame, as a JavaScript string of the bytes
//                         that draw it on a blank terminal
// Anything else is refused with the line that is wrong (status 1).
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "cast.h"
#include "cast_check.h"
#include "tool_options.h"

namespace {

const char USAGE[] = "usage: cast_check [--poster SECONDS] CAST\n"
                     "\n"
                     "Reads a cast of the show as the web page takes it and prints its facts.\n";

// A JSON string is a JavaScript one; "<" is escaped too, so that the string
// can stand inside a script element of the page.
std::string script_string(const std::string &bytes) {
    std::string json = cast_json_string(bytes.data(), bytes.size()), out;
    for (char c : json)
        out += c == '<' ? std::string("\\u003c") : std::string(1, c);
    return out;
}

}  // namespace

int main(int argc, char **argv) {
    double poster_at = -1;
    tool_options line("cast_check", USAGE);
    line.number("poster", "SECONDS", "print the picture SECONDS after the first frame", 0, 999999,
                poster_at);
    if (const int status = line.parse(argc, argv, 1, 1); status >= 0)
        return status;
    const char *path = line.operands()[0].c_str();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cast_check: cannot read %s\n", path);
        return 1;
    }
    cast_facts facts;
    if (std::string e = check_cast(in, facts, poster_at); !e.empty()) {
        std::fprintf(stderr, "cast_check: %s: %s\n", path, e.c_str());
        return 1;
    }
    std::printf("first_frame %.6f\nframes %s\nlength %.6f\n", facts.first_frame,
                facts.compact ? "compact" : "full", facts.length);
    if (poster_at >= 0)
        std::printf("poster %s\n", script_string(facts.poster).c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}
