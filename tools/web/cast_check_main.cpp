// cast_check: reads a cast of the show as the web page takes it and, when it
// is whole and valid, prints what the page maker needs, one fact a line:
//   first_frame SECONDS   the first frame's time (where the video starts)
//   frames compact|full   the form of its frames
//   length SECONDS        the last event's time
//   poster "..."          with --poster S: the picture S seconds after the
//                         first frame, as a JavaScript string of the bytes
//                         that draw it on a blank terminal
// Anything else is refused with the line that is wrong (status 1).
#include <getopt.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "cast.h"
#include "cast_check.h"

namespace {

void usage(std::FILE *to) { std::fprintf(to, "usage: cast_check [--poster SECONDS] CAST\n"); }

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
    static const option options[] = {
        {"poster", required_argument, nullptr, 'p'}, {"help", no_argument, nullptr, 'h'}, {}};
    double poster_at = -1;
    opterr = 0;
    for (int c; (c = getopt_long(argc, argv, ":h", options, nullptr)) != -1;) {
        char *end = nullptr;
        switch (c) {
            case 'p':
                poster_at = std::strtod(optarg, &end);
                if (end == optarg || *end != '\0' || !(poster_at >= 0 && poster_at < 1e6)) {
                    std::fprintf(stderr, "cast_check: --poster takes seconds, not %s\n", optarg);
                    return 2;
                }
                break;
            case 'h':
                usage(stdout);
                return 0;
            case ':':
                std::fprintf(stderr, "cast_check: %s needs its argument\n", argv[optind - 1]);
                usage(stderr);
                return 2;
            default:
                std::fprintf(stderr, "cast_check: unknown option %s\n", argv[optind - 1]);
                usage(stderr);
                return 2;
        }
    }
    if (optind + 1 != argc) {
        usage(stderr);
        return 2;
    }
    const char *path = argv[optind];
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
