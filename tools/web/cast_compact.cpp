// cast_compact: rewrites an asciicast of the show with whole frames (the
// recorder's full form) into the compact form: the same header (its
// "frames" now "compact") and event times, the writes before the first frame
// as they were, and each frame as the bytes that change the screen. A cast
// that is not the show's full form is refused; the output appears whole or
// not at all, and only over nothing or a regular file that is not the input.

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "cast.h"
#include "output_guard.h"
#include "stream.h"
#include "tool_options.h"

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
    std::ostringstream text;
    err = compact(in, text);
    if (!err.empty()) {
        std::fprintf(stderr, "cast_compact: %s: %s\n", from.c_str(), err.c_str());
        return 1;
    }
    const std::string bytes = text.str();
    if (!out.write(bytes.data(), bytes.size(), err) || !out.commit(err)) {
        std::fprintf(stderr, "cast_compact: %s\n", err.c_str());
        return 1;
    }
    return 0;
}
