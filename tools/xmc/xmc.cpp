// xmc <score> <out.xm>: compiles a text score into an XM module.
// A malformed score is reported as "score:line: message" with exit status 1;
// the output file is written whole or not at all.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "score.h"

int main(int argc, char **argv) {
    if (argc != 3) {
        std::cerr << "usage: xmc <score> <out.xm>\n";
        return 2;
    }
    const std::string score = argv[1], out = argv[2];
    std::ifstream in(score, std::ios::binary);
    if (!in) {
        std::cerr << score << ": cannot read the score\n";
        return 1;
    }
    std::stringstream text;
    text << in.rdbuf();

    auto report = [&](const score_error &e) {
        std::cerr << score;
        if (e.line > 0)
            std::cerr << ':' << e.line;
        std::cerr << ": error: " << e.what() << '\n';
    };
    std::vector<uint8_t> bytes;
    try {
        const song piece = parse_score(text.str());
        const std::vector<score_error> faults = check_tuning(piece);
        for (const score_error &e : faults)
            report(e);
        if (!faults.empty())
            return 1;
        bytes = write_xm(piece);
    } catch (const score_error &e) {
        report(e);
        return 1;
    }

    const std::string temp = out + ".part";
    {
        std::ofstream f(temp, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char *>(bytes.data()),
                static_cast<std::streamsize>(bytes.size()));
        f.close();
        if (!f) {
            std::remove(temp.c_str());
            std::cerr << out << ": cannot write the module\n";
            return 1;
        }
    }
    if (std::rename(temp.c_str(), out.c_str()) != 0) {
        std::remove(temp.c_str());
        std::cerr << out << ": cannot write the module\n";
        return 1;
    }
    return 0;
}
