// cast_compact: rewrites an asciicast of the show with whole frames (the
// recorder's full form) into the compact form: the same header (its
// "frames" now "compact") and event times, the writes before the first frame as they were, and each
// frame as the bytes that change the screen. A cast that is not the show's full form is refused;
// the output appears whole or not at all.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "cast.h"
#include "stream.h"

namespace {

// Reads the JSON string starting at s[i] (its opening quote) into `out`;
// returns false when it is malformed.
bool json_unquote(const std::string &s, std::size_t i, std::string &out) {
    if (i >= s.size() || s[i] != '"')
        return false;
    for (i++; i < s.size(); i++) {
        char c = s[i];
        if (c == '"')
            return true;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i >= s.size())
            return false;
        switch (s[i]) {
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'u': {
                unsigned v = 0;
                if (i + 4 >= s.size() || std::sscanf(s.c_str() + i + 1, "%4x", &v) != 1 || v > 0x7f)
                    return false;  // the show prints ASCII only
                out += static_cast<char>(v);
                i += 4;
                break;
            }
            default:
                out += s[i];
        }
    }
    return false;
}

// Converts the stream; returns an empty string or what went wrong.
std::string compact(std::istream &in, std::ostream &out) {
    std::string line;
    if (!std::getline(in, line) || line.rfind("{\"version\": 2", 0) != 0)
        return "no asciicast v2 header";
    // The recorder's header names the form of the frames.
    if (std::size_t k = line.find("\"frames\": \"full\""); k != std::string::npos)
        line.replace(k, 17, "\"frames\": \"compact\"");
    out << line << '\n';
    static stream_reader reader;
    terminal term;
    for (long n = 2; std::getline(in, line); n++) {
        // [TIME, "o", "DATA"]
        std::size_t comma = line.find(", \"o\", ");
        std::string data;
        if (line.empty() || line[0] != '[' || comma == std::string::npos ||
            !json_unquote(line, comma + 7, data))
            return "line " + std::to_string(n) + " is not an output event";
        std::string plain;
        for (std::size_t k = 0; k < data.size(); k++)
            if (!(data[k] == '\r' && k + 1 < data.size() && data[k + 1] == '\n'))
                plain += data[k];
        std::string bytes;
        auto take = [&](unit_kind kind, const frame_codes &f, const char *p, std::size_t used) {
            bytes += cast_unit(term, kind, f, p, used);
            return true;
        };
        if (stream_feed(reader, plain.data(), plain.size(), take) == feed_status::bad)
            return "not the show's full form at line " + std::to_string(n) + ": " +
                   reader.parser.error;
        out << line.substr(0, comma) << ", \"o\", " << cast_json_string(bytes.data(), bytes.size())
            << "]\n";
    }
    return in.bad() ? "cannot read the cast" : "";
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: cast_compact FULL.cast COMPACT.cast\n");
        return 2;
    }
    const std::string to = argv[2], partial = to + ".partial";
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cast_compact: cannot read %s\n", argv[1]);
        return 1;
    }
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    std::string err = out ? compact(in, out) : "cannot write " + partial;
    out.close();
    if (err.empty() && !out)
        err = "cannot write " + partial;
    if (err.empty() && std::rename(partial.c_str(), to.c_str()) != 0)
        err = "cannot write " + to;
    if (!err.empty()) {
        std::remove(partial.c_str());
        std::fprintf(stderr, "cast_compact: %s: %s\n", argv[1], err.c_str());
        return 1;
    }
    return 0;
}
