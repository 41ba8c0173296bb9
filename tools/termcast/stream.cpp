#include "stream.h"

#include <cstdio>

namespace {

struct cursor {
    const char *p;
    std::size_t n, i = 0;
    bool cut = false;           // ran out of bytes
    const char *bad = nullptr;  // what was expected where the bytes went wrong

    bool expect(const char *lit, const char *what) {
        for (; *lit; lit++) {
            if (i == n) {
                cut = true;
                return false;
            }
            if (p[i] != *lit) {
                bad = what;
                return false;
            }
            i++;
        }
        return true;
    }

    bool expect(char b, const char *what) {
        const char lit[] = {b, 0};
        return expect(lit, what);
    }

    // A cell's number: 0 to PARAM_MAX, 1 to PARAM_DIGITS digits, no sign, no
    // leading zero.
    bool number(int &v) {
        std::size_t start = i;
        v = 0;
        while (i < n && p[i] >= '0' && p[i] <= '9' && i - start < PARAM_DIGITS)
            v = v * 10 + (p[i++] - '0');
        if (i == n) {
            cut = true;
            return false;
        }
        if (i == start || (p[start] == '0' && i - start > 1) || (p[i] >= '0' && p[i] <= '9')) {
            static_assert(PARAM_DIGITS == 4, "the message names the digits");
            bad = "a decimal number of 1 to 4 digits";
            i = start;
            return false;
        }
        return true;
    }
};

parse_status fail(stream_parser &ps, const cursor &c) {
    if (c.cut)
        return parse_status::need_more;
    char msg[160];
    std::snprintf(msg, sizeof msg, "byte %zu (%s %ld): expected %s", ps.offset + c.i,
                  ps.stage < 3 ? "before frame" : "frame", ps.frames + 1, c.bad);
    ps.error = msg;
    return parse_status::bad;
}

bool read_frame(cursor &c, frame_codes &f) {
    for (int k = 0; k < FRAME_CURSOR_UPS; k++)
        if (!c.expect(CURSOR_UP, "the cursor-up ESC [A that starts a frame"))
            return false;
    for (int y = 0; y < HEIGHT; y++) {
        for (int x = 0; x < WIDTH; x++) {
            cell_code &cc = f.cells[y][x];
            if (!c.expect(CELL_START, "a cell's ESC [") || !c.number(cc.attr) ||
                !c.expect(PARAM_SEPARATOR, "';'") || !c.number(cc.fg) ||
                !c.expect(PARAM_SEPARATOR, "';'") || !c.number(cc.bg) || !c.expect(CELL_END, "'m'"))
                return false;
            if (c.i == c.n) {
                c.cut = true;
                return false;
            }
            unsigned char b = static_cast<unsigned char>(c.p[c.i]);
            if (!stream_byte_ok(b)) {
                c.bad = "a printable character or NUL";
                return false;
            }
            cc.data = b;
            c.i++;
        }
        if (!c.expect(ROW_END, "the newline that ends a row"))
            return false;
    }
    return true;
}

}  // namespace

parse_status next_unit(stream_parser &ps, const char *p, std::size_t n, unit_kind &kind,
                       frame_codes &f, std::size_t &used) {
    cursor c{p, n};
    bool ok = false;
    switch (ps.stage) {
        case 0:
            ok = c.expect(RESET, "the terminal reset ESC c");
            kind = unit_kind::reset;
            break;
        case 1:
            ok = c.expect(HIDE_CURSOR, "the cursor hiding ESC [?25l");
            kind = unit_kind::hide_cursor;
            break;
        case 2:
            ok = true;
            for (int y = 0; y < HEIGHT && ok; y++) {
                for (int x = 0; x < WIDTH && ok; x++)
                    ok = c.expect(RESERVE_FILL, "the 80 spaces of a reserved line");
                ok = ok && c.expect(ROW_END, "the newline of a reserved line");
            }
            kind = unit_kind::reserve;
            break;
        default:
            ok = read_frame(c, f);
            kind = unit_kind::frame;
    }
    if (!ok)
        return fail(ps, c);
    used = c.i;
    ps.offset += c.i;
    if (ps.stage < 3)
        ps.stage++;
    else
        ps.frames++;
    return parse_status::done;
}

feed_status stream_feed(stream_reader &r, const char *p, std::size_t n,
                        const unit_handler &on_unit) {
    r.pending.append(p, n);
    std::size_t pos = 0;
    feed_status result = feed_status::more;
    for (;;) {
        unit_kind kind;
        std::size_t used = 0;
        parse_status st = next_unit(r.parser, r.pending.data() + pos, r.pending.size() - pos, kind,
                                    r.codes, used);
        if (st == parse_status::bad)
            result = feed_status::bad;
        if (st != parse_status::done)
            break;
        if (!on_unit(kind, r.codes, r.pending.data() + pos, used)) {
            pos += used;
            result = feed_status::stopped;
            break;
        }
        pos += used;
    }
    r.pending.erase(0, pos);
    return result;
}
