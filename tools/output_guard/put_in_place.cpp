// put_in_place: the tools' guard for their outputs, for shell scripts.
//
//   put_in_place [--folder] --check PATH   says whether PATH may take an output
//   put_in_place FROM PATH                 moves FROM (made beside PATH) into its place
//
// PATH may take an output when it holds nothing or a regular file (a folder,
// with --folder or when FROM is one). Anything else is refused with a message
// on standard error and status 1, and left as it is; a bad command line ends
// with status 2.
#include <getopt.h>

#include <cstdio>
#include <string>

#include "output_guard.h"

namespace {

const char USAGE[] = "usage: put_in_place [--folder] --check PATH\n"
                     "       put_in_place FROM PATH\n"
                     "Checks that PATH may take an output (nothing or a regular file there, or a\n"
                     "folder with --folder), or moves FROM, made beside PATH, into its place.\n";

}  // namespace

int main(int argc, char **argv) {
    const option options[] = {{"check", no_argument, nullptr, 'c'},
                              {"folder", no_argument, nullptr, 'f'},
                              {"help", no_argument, nullptr, 'h'},
                              {nullptr, 0, nullptr, 0}};
    bool check = false, folder = false;
    opterr = 0;
    for (int c; (c = getopt_long(argc, argv, "h", options, nullptr)) != -1;) {
        if (c == 'h') {
            std::fputs(USAGE, stdout);
            return 0;
        }
        if (c == '?') {
            std::fprintf(stderr, "put_in_place: unknown option %s\n%s", argv[optind - 1], USAGE);
            return 2;
        }
        check = check || c == 'c';
        folder = folder || c == 'f';
    }
    if (argc - optind != (check ? 1 : 2)) {
        std::fputs(USAGE, stderr);
        return 2;
    }
    std::string error;
    if (check)
        error = output_refusal(argv[optind], {}, folder);
    else
        move_all_into_place({{argv[optind], argv[optind + 1]}}, error);
    if (!error.empty()) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    return 0;
}
