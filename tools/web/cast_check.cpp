#include "cast_check.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "cast.h"
#include "stream.h"
#include "term.h"

namespace {

// A whole frame printed as the show prints it, escaped as JSON, stays well
// under this; a longer line is not the show's.
constexpr std::size_t MAX_LINE = 1 << 20;
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

    bool number(double &v) {
        space();
        const std::size_t start = i;
        auto digits = [&] {
            std::size_t from = i;
            while (i < s.size() && s[i] >= '0' && s[i] <= '9')
                i++;
            return i > from;
        };
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

    // The string's bytes; \u escapes only for ASCII, as the recorder writes them.
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
            if (std::size_t k = plain.find(s[i]); k != std::string::npos) {
                out += meant[k];
                continue;
            }
            unsigned v = 0;
            if (s[i] != 'u' || i + 4 >= s.size())
                return fail("a bad escape");
            for (int d = 1; d <= 4; d++) {
                char h = s[i + d];
                int x = h >= '0' && h <= '9'   ? h - '0'
                        : h >= 'a' && h <= 'f' ? h - 'a' + 10
                        : h >= 'A' && h <= 'F' ? h - 'A' + 10
                                               : -1;
                if (x < 0)
                    return fail("a bad \\u escape");
                v = v * 16 + static_cast<unsigned>(x);
            }
            if (v > 0x7f)
                return fail("a character the show does not print");
            out += static_cast<char>(v);
            i += 4;
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
        for (const char *word : {"true", "false", "null"})
            if (s.compare(i, std::string(word).size(), word) == 0) {
                i += std::string(word).size();
                return true;
            }
        return number(v);
    }

    bool end() {
        space();
        return i == s.size() || fail("more after the end");
    }
};

// What the header says.
struct header_facts {
    double version = 0, width = 0, height = 0, first_frame = NAN;  // NAN: not said
    std::string frames;
};

std::string read_header(const std::string &line, header_facts &h) {
    json_line j(line);
    if (!j.expect('{'))
        return "not an asciicast header: " + j.error;
    if (!j.take('}'))
        do {
            std::string key;
            if (!j.string(key) || !j.expect(':'))
                return "not an asciicast header: " + j.error;
            double *number = key == "version"       ? &h.version
                             : key == "width"       ? &h.width
                             : key == "height"      ? &h.height
                             : key == "first_frame" ? &h.first_frame
                                                    : nullptr;
            bool ok = number ? j.number(*number) : key == "frames" ? j.string(h.frames) : j.skip();
            if (!ok)
                return "the header's \"" + key + "\" is wrong: " + j.error;
        } while (j.take(','));
    if (!j.expect('}') || !j.end())
        return "not an asciicast header: " + j.error;
    if (h.version != 2)
        return "not an asciicast v2 header";
    if (h.width != WIDTH || h.height != TERM_HEIGHT)
        return "the header's size is not 80x25";
    if (h.first_frame < 0)
        return "the header's \"first_frame\" is negative";
    if (!h.frames.empty() && h.frames != "compact" && h.frames != "full")
        return "the header's \"frames\" is neither \"compact\" nor \"full\"";
    return "";
}

std::string read_event(const std::string &line, double &t, std::string &data) {
    json_line j(line);
    std::string code;
    if (!(j.expect('[') && j.number(t) && j.expect(',') && j.string(code) && j.expect(',') &&
          j.string(data) && j.expect(']') && j.end()))
        return "not an event: " + j.error;
    if (code != "o")
        return "not an output event";
    return "";
}

// The bytes of a compact frame: printable characters, newlines, the reset,
// and the control sequences the compact form is made of (cursor moves, SGR,
// cursor showing and hiding), each whole.
std::string check_compact(const std::string &d) {
    for (std::size_t i = 0; i < d.size(); i++) {
        unsigned char c = static_cast<unsigned char>(d[i]);
        if ((c >= 0x20 && c != 0x7f) || c == '\r' || c == '\n')
            continue;
        char at[64];
        std::snprintf(at, sizeof at, "byte 0x%02x at %zu", c, i);
        if (c != 0x1b)
            return std::string("a control ") + at;
        if (i + 1 < d.size() && d[i + 1] == 'c') {
            i++;
            continue;
        }
        if (i + 1 >= d.size() || d[i + 1] != '[')
            return std::string("an escape that is not a control sequence at ") + at;
        std::size_t k = i + 2;
        bool is_private = k < d.size() && d[k] == '?';
        k += is_private;
        while (k < d.size() && ((d[k] >= '0' && d[k] <= '9') || d[k] == ';'))
            k++;
        const std::string finals = is_private ? "hl" : "ABCDHfm";
        if (k >= d.size() || finals.find(d[k]) == std::string::npos)
            return std::string("a control sequence cut off or unknown, from ") + at;
        i = k;
    }
    return "";
}

// The event's bytes as the show printed them: the tty's "\r\n" back to "\n".
std::string as_printed(const std::string &data) {
    std::string plain;
    for (std::size_t k = 0; k < data.size(); k++)
        if (!(data[k] == '\r' && k + 1 < data.size() && data[k + 1] == '\n'))
            plain += data[k];
    return plain;
}

// One event of the show's printed stream: exactly one whole unit of the kind
// expected (any frame once the three units before the first are read).
std::string check_unit(stream_reader &reader, const std::string &data, long index) {
    static const unit_kind before[] = {unit_kind::reset, unit_kind::hide_cursor,
                                       unit_kind::reserve};
    const std::string plain = as_printed(data);
    int units = 0;
    bool right = true;
    feed_status st = stream_feed(
        reader, plain.data(), plain.size(),
        [&](unit_kind kind, const frame_codes &, const char *, std::size_t) {
            right = right && units++ == 0 && kind == (index < 3 ? before[index] : unit_kind::frame);
            return true;
        });
    if (st == feed_status::bad)
        return "not the show's stream: " + reader.parser.error;
    if (!reader.pending.empty() || units != 1 || !right)
        return index < 3 ? "not the show's start as printed" : "not one whole frame";
    return "";
}

}  // namespace

std::string check_cast(std::istream &in, cast_facts &facts, double poster_at) {
    facts = cast_facts{};
    header_facts h;
    // Large enough to keep off the stack: the reader holds a frame's cells.
    auto reader = std::make_unique<stream_reader>();
    auto shown = std::make_unique<terminal>();
    bool posed = false;
    std::string line, data;
    double last = 0;
    long n = 0;
    auto at = [&](const std::string &what) { return "line " + std::to_string(n) + ": " + what; };
    while (true) {
        line.clear();
        char c;
        bool ended = false;
        while (in.get(c)) {
            if (c == '\n') {
                ended = true;
                break;
            }
            if (line.size() >= MAX_LINE)
                return "line " + std::to_string(n + 1) +
                       ": longer than any line of the show's cast";
            line += c;
        }
        if (!ended && line.empty())
            break;
        n++;
        if (!ended)
            return at("cut off (no end of line)");
        if (n == 1) {
            if (std::string e = read_header(line, h); !e.empty())
                return at(e);
            continue;
        }
        double t;
        data.clear();
        if (std::string e = read_event(line, t, data); !e.empty())
            return at(e);
        if (t < last)
            return at("its time goes back");
        last = t;
        const long index = facts.events++;
        if (index == 3) {
            facts.first_frame = t;
            facts.compact =
                h.frames.empty() ? data.rfind("\033[A\033[A", 0) != 0 : h.frames == "compact";
            if (!std::isnan(h.first_frame) && h.first_frame != t)
                return at("the first frame is not at the header's \"first_frame\"");
        }
        std::string e =
            index < 3 || !facts.compact ? check_unit(*reader, data, index) : check_compact(data);
        if (!e.empty())
            return at(e);
        if (poster_at >= 0 && !posed) {
            if (index >= 3 && t > facts.first_frame + poster_at) {
                facts.poster = cast_frame_delta(terminal{}, *shown);
                posed = true;
            } else {
                cast_replay(*shown, data);
            }
        }
    }
    if (in.bad())
        return "cannot read the cast";
    if (n == 0)
        return "line 1: no header (an empty file)";
    if (facts.events < 4)
        return "line " + std::to_string(n) + ": the cast ends before its first frame";
    facts.length = last;
    if (poster_at >= 0 && !posed)
        facts.poster = cast_frame_delta(terminal{}, *shown);
    return "";
}
