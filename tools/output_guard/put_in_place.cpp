// put_in_place: the tools' guard for their outputs, for shell scripts.
//
//   put_in_place [--folder] --check PATH   says whether PATH may take an output
//   put_in_place FROM PATH                 moves FROM (made beside PATH) into its place
//
// PATH may take an output when it holds nothing or a regular file (a folder,
// with --folder or when FROM is one). Anything else is refused with a message
// on standard error and status 1, and left as it is; a bad command line ends
// with status 2.
#include <cstdio>
#include <string>

#include "output_guard.h"
#include "tool_options.h"

namespace {

const char USAGE[] = "usage: put_in_place [--folder] --check PATH\n"
                     "       put_in_place FROM PATH\n"
                     "\n"
                     "Checks that PATH may take an output (nothing or a regular file there, or a\n"
                     "folder with --folder), or moves FROM, made beside PATH, into its place.\n";

}  // namespace

int main(int argc, char **argv) {
    bool check = false, folder = false;
    tool_options options("put_in_place", USAGE);
    options.flag("check", "say whether PATH may take an output", check);
    options.flag("folder", "with --check: the output is a folder", folder);
    if (const int status = options.parse(argc, argv, 1, 2); status >= 0)
        return status;
    const std::vector<std::string> &words = options.operands();
    if (words.size() != (check ? 1u : 2u))
        return options.mistake(check ? "--check takes one PATH"
                                     : "takes FROM and PATH, or --check PATH");
    std::string error;
    if (check)
        error = output_refusal(words[0], {}, folder);
    else
        move_all_into_place({{words[0], words[1]}}, error);
    if (!error.empty()) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    return 0;
}
