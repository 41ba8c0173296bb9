#include "cast_file.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "cast.h"
#include "stream_format.h"

namespace {

constexpr int MAX_DEPTH = 16;

// A strict reader of the JSON on one line: whitespace, strings with their
// escapes, numbers as JSON spells them; anything else fails.
struct json_line {
    explicit json_line(const std::string &line) : s(line) {}
    const std::string &s;
    std::size_t i = 0;
    std::string error;

    bool fail(const std::string &what) {
        if (error.empty())
            error = what + " at column " + std::to_string(i + 1);
        return false;
    }
    void space() {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r'))
            i++;
    }
    bool take(char c) {
        space();
        if (i < s.size() && s[i] == c) {
            i++;
            return true;
        }
        return false;
    }
    bool expect(char c) { return take(c) || fail(std::string("no '") + c + "'"); }

    bool digits() {
        const std::size_t from = i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9')
            i++;
        return i > from;
    }

    bool number(double &v) {
        space();
        const std::size_t start = i;
        if (i < s.size() && s[i] == '-')
            i++;
        if (i < s.size() && s[i] == '0')
            i++;
        else if (!digits())
            return fail("no number");
        if (i < s.size() && s[i] == '.' && (++i, !digits()))
            return fail("no digits after the point");
        if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
            i++;
            if (i < s.size() && (s[i] == '+' || s[i] == '-'))
                i++;
            if (!digits())
                return fail("no exponent");
        }
        v = std::strtod(s.substr(start, i - start).c_str(), nullptr);
        return std::isfinite(v) || fail("a number out of range");
    }

    // Four hex digits after a \u; -1 when they are not.
    long hex4() {
        if (i + 4 >= s.size())
            return -1;
        long v = 0;
        for (int d = 1; d <= 4; d++) {
            char h = s[i + d];
            int x = h >= '0' && h <= '9'   ? h - '0'
                    : h >= 'a' && h <= 'f' ? h - 'a' + 10
                    : h >= 'A' && h <= 'F' ? h - 'A' + 10
                                           : -1;
            if (x < 0)
                return -1;
            v = v * 16 + x;
        }
        i += 4;
        return v;
    }

    // A \u escape (s[i] is the u), a surrogate pair taken whole, as UTF-8.
    bool unicode(std::string &out) {
        long v = hex4();
        if (v >= 0xdc00 && v <= 0xdfff)
            return fail("a bad \\u escape");
        if (v >= 0xd800 && v <= 0xdbff) {
            if (s.compare(i + 1, 2, "\\u") != 0)
                return fail("a bad \\u escape");
            i += 2;
            long low = hex4();
            if (low < 0xdc00 || low > 0xdfff)
                return fail("a bad \\u escape");
            v = 0x10000 + ((v - 0xd800) << 10) + (low - 0xdc00);
        }
        if (v < 0)
            return fail("a bad \\u escape");
        auto byte = [&](long b) { out += static_cast<char>(b); };
        if (v < 0x80) {
            byte(v);
        } else if (v < 0x800) {
            byte(0xc0 | v >> 6), byte(0x80 | (v & 0x3f));
        } else if (v < 0x10000) {
            byte(0xe0 | v >> 12), byte(0x80 | (v >> 6 & 0x3f)), byte(0x80 | (v & 0x3f));
        } else {
            byte(0xf0 | v >> 18), byte(0x80 | (v >> 12 & 0x3f)), byte(0x80 | (v >> 6 & 0x3f));
            byte(0x80 | (v & 0x3f));
        }
        return true;
    }

    // The string's bytes, its escapes undone.
    bool string(std::string &out) {
        space();
        if (i >= s.size() || s[i] != '"')
            return fail("no string");
        for (i++; i < s.size(); i++) {
            unsigned char c = static_cast<unsigned char>(s[i]);
            if (c == '"') {
                i++;
                return true;
            }
            if (c < 0x20)
                return fail("a raw control byte in a string");
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            if (++i >= s.size())
                break;
            static const std::string plain = "\"\\/bfnrt", meant = "\"\\/\b\f\n\r\t";
            if (std::size_t k = plain.find(s[i]); k != std::string::npos)
                out += meant[k];
            else if (s[i] != 'u' || !unicode(out))
                return fail("a bad escape");
        }
        return fail("a string not closed");
    }

    // Any value, read and dropped.
    bool skip(int depth = 0) {
        if (depth > MAX_DEPTH)
            return fail("nesting too deep");
        space();
        std::string text;
        double v;
        if (i < s.size() && s[i] == '"')
            return string(text);
        if (take('{') || take('[')) {
            const char close = s[i - 1] == '{' ? '}' : ']';
            if (take(close))
                return true;
            do {
                if (close == '}' && !(string(text) && expect(':')))
                    return false;
                if (!skip(depth + 1))
                    return false;
            } while (take(','));
            return expect(close);
        }
        for (const std::string word : {"true", "false", "null"})
            if (s.compare(i, word.size(), word) == 0) {
                i += word.size();
                return true;
            }
        return number(v);
    }

    bool end() {
        space();
        return i == s.size() || fail("more after the end");
    }
};

// A JSON string of any bytes: quotes, backslashes and control bytes escaped.
std::string json_text(const std::string &s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char u[8];
            std::snprintf(u, sizeof u, "\\u%04x", c);
            out += u;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// One key's value: the numbers and the string the tools read, anything else
// read over. The value's JSON text is what was read.
bool header_value(json_line &j, const std::string &key, cast_header &h) {
    double *number = key == "version"       ? &h.version
                     : key == "width"       ? &h.width
                     : key == "height"      ? &h.height
                     : key == "first_frame" ? &h.first_frame
                                            : nullptr;
    if (number)
        return j.number(*number);
    return key == "frames" ? j.string(h.frames) : j.skip();
}

// What the header's keys say, against what the show's cast must be.
std::string header_sense(const cast_header &h, bool has_first_frame) {
    if (h.version != 2)
        return "not an asciicast v2 header";
    if (h.width != WIDTH || h.height != TERM_HEIGHT)
        return "the header's size is not 80x25";
    if (has_first_frame && h.first_frame < 0)
        return "the header's \"first_frame\" is negative";
    if (!h.frames.empty() && h.frames != "compact" && h.frames != "full")
        return "the header's \"frames\" is neither \"compact\" nor \"full\"";
    return "";
}

}  // namespace

void cast_header::set(const std::string &key, const std::string &json) {
    for (auto &[k, v] : keys)
        if (k == key) {
            v = json;
            return;
        }
    keys.emplace_back(key, json);
}

std::string cast_time(double seconds) {
    char text[400];  // the largest finite double has 309 digits before the point
    std::snprintf(text, sizeof text, "%.6f", seconds);
    return text;
}

std::string cast_time_kept(double seconds) {
    std::string text = cast_time(seconds);
    if (std::strtod(text.c_str(), nullptr) == seconds)
        return text;
    char every[64];
    const auto end = std::to_chars(every, every + sizeof every, seconds).ptr;
    return std::string(every, end);
}

cast_header recorder_cast_header(long timestamp, double first_frame, bool full) {
    cast_header h;
    h.set("version", "2");
    h.set("width", std::to_string(WIDTH));
    h.set("height", std::to_string(TERM_HEIGHT));
    h.set("timestamp", std::to_string(timestamp));
    h.set("first_frame", cast_time(first_frame));
    h.set("frames", full ? "\"full\"" : "\"compact\"");
    h.set("env", "{\"TERM\": \"xterm-256color\"}");
    return h;
}

std::string cast_header_line(const cast_header &h) {
    std::string line = "{";
    for (const auto &[key, value] : h.keys)
        line += (line.size() > 1 ? ", " : "") + json_text(key) + ": " + value;
    return line + "}\n";
}

std::string cast_event_line(const std::string &time, const char *p, std::size_t n) {
    return "[" + time + ", \"o\", " + cast_json_string(p, n) + "]\n";
}

std::string read_cast_header(const std::string &line, cast_header &h) {
    h = cast_header{};
    json_line j(line);
    if (!j.expect('{'))
        return "not an asciicast header: " + j.error;
    if (!j.take('}'))
        do {
            std::string key;
            if (!j.string(key) || !j.expect(':'))
                return "not an asciicast header: " + j.error;
            for (const auto &kept : h.keys)
                if (kept.first == key)
                    return "the header has \"" + key + "\" twice";
            j.space();
            const std::size_t from = j.i;
            if (!header_value(j, key, h))
                return "the header's \"" + key + "\" is wrong: " + j.error;
            h.keys.emplace_back(key, line.substr(from, j.i - from));
        } while (j.take(','));
    if (!j.expect('}') || !j.end())
        return "not an asciicast header: " + j.error;
    bool has_first_frame = false;
    for (const auto &kept : h.keys)
        has_first_frame = has_first_frame || kept.first == "first_frame";
    return header_sense(h, has_first_frame);
}

std::string read_cast_event(const std::string &line, double &t, std::string &data) {
    json_line j(line);
    std::string code;
    data.clear();
    if (!(j.expect('[') && j.number(t) && j.expect(',') && j.string(code) && j.expect(',') &&
          j.string(data) && j.expect(']') && j.end()))
        return "not an event: " + j.error;
    if (code != "o")
        return "not an output event";
    if (t < 0)
        return "its time is negative";
    for (std::size_t k = 0; k < data.size(); k++)
        if (static_cast<unsigned char>(data[k]) > 0x7f) {
            char at[64];
            std::snprintf(at, sizeof at, "byte 0x%02x at %zu", static_cast<unsigned char>(data[k]),
                          k);
            return std::string("a character the show does not print (") + at + ")";
        }
    return "";
}
