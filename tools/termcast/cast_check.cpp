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
// expected (any frame once the three units before the first are read), handed
// on to `on_unit` with the event's time.
std::string check_unit(stream_reader &reader, const std::string &data, long index, double t,
                       const cast_unit_sink &on_unit) {
    static const unit_kind before[] = {unit_kind::reset, unit_kind::hide_cursor,
                                       unit_kind::reserve};
    const std::string plain = as_printed(data);
    int units = 0;
    bool right = true;
    feed_status st = stream_feed(
        reader, plain.data(), plain.size(),
        [&](unit_kind kind, const frame_codes &f, const char *bytes, std::size_t n) {
            right = right && units++ == 0 && kind == (index < 3 ? before[index] : unit_kind::frame);
            if (right && on_unit)
                on_unit(t, kind, f, bytes, n);
            return true;
        });
    if (st == feed_status::bad)
        return "not the show's stream: " + reader.parser.error;
    if (!reader.pending.empty() || units != 1 || !right)
        return index < 3 ? "not the show's start as printed" : "not one whole frame";
    return "";
}

enum class line_read { whole, end, cut, too_long };

// One cast read line by line: the header, then each event against the show's
// stream, the poster's picture kept up to its moment.
struct cast_reading {
    cast_reading(std::istream &i, cast_facts &f, double p, const cast_unit_sink &u)
        : in(i), facts(f), poster_at(p), on_unit(u) {}
    std::istream &in;
    cast_facts &facts;
    double poster_at;
    const cast_unit_sink &on_unit;
    // Large enough to keep off the stack: the reader holds a frame's cells.
    std::unique_ptr<stream_reader> reader = std::make_unique<stream_reader>();
    std::unique_ptr<terminal> shown = std::make_unique<terminal>();
    bool posed = false;
    long n = 0;  // lines read so far
    double last = 0;
    std::string line, data;

    std::string at(const std::string &what) const {
        return "line " + std::to_string(n) + ": " + what;
    }

    // The next line into `line`, without its newline.
    line_read next_line() {
        line.clear();
        for (char c; in.get(c);) {
            if (c == '\n')
                return n++, line_read::whole;
            if (line.size() >= MAX_LINE)
                return n++, line_read::too_long;
            line += c;
        }
        return line.empty() ? line_read::end : (n++, line_read::cut);
    }

    // The fourth event: where the frames start, and their form.
    std::string first_frame(double t) {
        const cast_header &h = facts.header;
        facts.first_frame = t;
        facts.compact =
            h.frames.empty() ? data.rfind("\033[A\033[A", 0) != 0 : h.frames == "compact";
        if (h.first_frame >= 0 && h.first_frame != t)
            return "the first frame is not at the header's \"first_frame\"";
        return "";
    }

    // The picture at the poster's moment: the events before it played.
    void pose(long index, double t) {
        if (poster_at < 0 || posed)
            return;
        if (index >= 3 && t > facts.first_frame + poster_at) {
            facts.poster = cast_frame_delta(terminal{}, *shown);
            posed = true;
        } else {
            cast_replay(*shown, data);
        }
    }

    std::string event() {
        double t;
        if (std::string e = read_cast_event(line, t, data); !e.empty())
            return e;
        if (t < last)
            return "its time goes back";
        last = t;
        const long index = facts.events++;
        if (index == 3)
            if (std::string e = first_frame(t); !e.empty())
                return e;
        std::string e = index < 3 || !facts.compact ? check_unit(*reader, data, index, t, on_unit)
                                                    : check_compact(data);
        if (e.empty())
            pose(index, t);
        return e;
    }

    std::string finish() {
        if (in.bad())
            return "cannot read the cast";
        if (n == 0)
            return "line 1: no header (an empty file)";
        if (facts.events < 4)
            return at("the cast ends before its first frame");
        facts.length = last;
        if (poster_at >= 0 && !posed)
            facts.poster = cast_frame_delta(terminal{}, *shown);
        return "";
    }
};

}  // namespace

std::string check_cast(std::istream &in, cast_facts &facts, double poster_at,
                       const cast_unit_sink &on_unit) {
    facts = cast_facts{};
    cast_reading r(in, facts, poster_at, on_unit);
    while (true) {
        switch (r.next_line()) {
            case line_read::end:
                return r.finish();
            case line_read::cut:
                return r.at("cut off (no end of line)");
            case line_read::too_long:
                return r.at("longer than any line of the show's cast");
            case line_read::whole:
                break;
        }
        std::string e = r.n == 1 ? read_cast_header(r.line, facts.header) : r.event();
        if (!e.empty())
            return r.at(e);
    }
}

std::string compact_cast(std::istream &in, std::string &out) {
    cast_facts facts;
    auto shown = std::make_unique<terminal>();
    std::string events;
    auto to_compact = [&](double t, unit_kind kind, const frame_codes &f, const char *bytes,
                          std::size_t n) {
        const std::string unit = cast_unit(*shown, kind, f, bytes, n);
        events += cast_event_line(cast_time_kept(t), unit.data(), unit.size());
    };
    if (std::string e = check_cast(in, facts, -1, to_compact); !e.empty())
        return e;
    if (facts.compact)
        return "its frames are compact already";
    facts.header.set("first_frame", cast_time_kept(facts.first_frame));
    facts.header.set("frames", "\"compact\"");
    out = cast_header_line(facts.header) + events;
    return "";
}
