#include "cast.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int CELLS = TERM_HEIGHT * WIDTH;
// Unchanged cells between two changed ones are printed again rather than
// jumped over when that is no longer than the jump; beyond this many never.
constexpr int MAX_REPRINT = 8;

// Two cells look the same when they show the same character in the same
// colours (the default ones are white on black) with the same overline.
bool same_cell(const term_cell &a, const term_cell &b) {
    return a.ch == b.ch && ink_of(a.look) == ink_of(b.look) &&
           paper_of(a.look) == paper_of(b.look) && a.look.overline == b.look.overline;
}

// The pen printed for `p`: bold ink in the default colour becomes bold white,
// which players that show bold as bright brighten as the console does.
pen shown(pen p) {
    if (p.bold && p.fg == DEFAULT_COLOUR)
        p.fg = 7;
    return p;
}

int fg_code(int c) { return c == DEFAULT_COLOUR ? 39 : c < 8 ? 30 + c : 90 + c - 8; }
int bg_code(int c) { return c == DEFAULT_COLOUR ? 49 : c < 8 ? 40 + c : 100 + c - 8; }

std::string sgr_of(const std::vector<int> &params) {
    std::string s = "\033[";
    for (std::size_t i = 0; i < params.size(); i++) {
        if (i > 0)
            s += ';';
        s += std::to_string(params[i]);
    }
    return s + "m";
}

// The shortest SGR that turns the pen `from` into `to`: the changed
// attributes alone, or a reset and what differs from the plain pen.
std::string pen_change(const pen &from, const pen &to) {
    if (from == to)
        return "";
    std::vector<int> changes, reset = {0};
    if (from.bold != to.bold)
        changes.push_back(to.bold ? 1 : 22);
    if (from.overline != to.overline)
        changes.push_back(to.overline ? 53 : 55);
    if (from.fg != to.fg)
        changes.push_back(fg_code(to.fg));
    if (from.bg != to.bg)
        changes.push_back(bg_code(to.bg));
    if (to.bold)
        reset.push_back(1);
    if (to.overline)
        reset.push_back(53);
    if (to.fg != DEFAULT_COLOUR)
        reset.push_back(fg_code(to.fg));
    if (to.bg != DEFAULT_COLOUR)
        reset.push_back(bg_code(to.bg));
    std::string a = sgr_of(changes), b = sgr_of(reset);
    return b.size() < a.size() ? b : a;
}

// Where the next printed character lands, as a cell index, or -1 where
// printing would scroll the screen.
int next_cell(const terminal &t) {
    if (!t.wrap_pending)
        return t.row * WIDTH + t.col;
    return t.row < TERM_HEIGHT - 1 ? (t.row + 1) * WIDTH : -1;
}

// A cursor move to cell `to`: forward on the same line, or an absolute move.
std::string move_to(const terminal &t, int to) {
    int y = to / WIDTH, x = to % WIDTH;
    if (!t.wrap_pending && t.row == y && t.col < x)
        return x - t.col == 1 ? "\033[C" : "\033[" + std::to_string(x - t.col) + "C";
    if (x == 0)
        return y == 0 ? "\033[H" : "\033[" + std::to_string(y + 1) + "H";
    return "\033[" + std::to_string(y + 1) + ";" + std::to_string(x + 1) + "H";
}

// Puts bytes into `out` and plays them on `t`, which keeps up with them.
void emit(terminal &t, const std::string &bytes, std::string &out) {
    out += bytes;
    cast_replay(t, bytes);
}

// Prints cell `at` of `target` on `t` and into `out`.
void print_cell(terminal &t, const terminal &target, int at, std::string &out) {
    const term_cell &c = target.cells[at / WIDTH][at % WIDTH];
    emit(t, pen_change(t.now, shown(c.look)) + static_cast<char>(c.ch), out);
}

}  // namespace

std::string cast_frame_delta(const terminal &before, const terminal &after) {
    std::string out;
    terminal t = before;
    t.now = shown(before.now);  // as the bytes before these left it
    for (int at = 0; at < CELLS; at++) {
        if (same_cell(t.cells[at / WIDTH][at % WIDTH], after.cells[at / WIDTH][at % WIDTH]))
            continue;
        int next = next_cell(t);
        if (next != at) {
            std::string move = move_to(t, at);
            // Reprinting the unchanged cells in between costs their characters
            // and any pen changes.
            bool reprint = false;
            if (next >= 0 && next < at && at - next <= MAX_REPRINT) {
                pen p = t.now;
                std::size_t cost = 0;
                for (int k = next; k < at && cost <= move.size(); k++) {
                    pen q = shown(after.cells[k / WIDTH][k % WIDTH].look);
                    cost += pen_change(p, q).size() + 1;
                    p = q;
                }
                reprint = cost <= move.size();
                for (int k = next; reprint && k < at; k++)
                    print_cell(t, after, k, out);
            }
            if (!reprint)
                emit(t, move, out);
        }
        print_cell(t, after, at, out);
    }
    // The cursor and the pen end as in `after`; a pending wrap is set again by
    // printing the last cell of its line.
    if (after.wrap_pending && !(t.wrap_pending && t.row == after.row && t.col == after.col)) {
        emit(t, "\033[" + std::to_string(after.row + 1) + ";" + std::to_string(WIDTH) + "H", out);
        print_cell(t, after, after.row * WIDTH + WIDTH - 1, out);
    } else if (!after.wrap_pending &&
               (t.wrap_pending || t.row != after.row || t.col != after.col)) {
        emit(t, move_to(t, after.row * WIDTH + after.col), out);
    }
    out += pen_change(t.now, shown(after.now));
    return out;
}

namespace {

// A control sequence: ESC [, a private marker or not, numbers, then its final byte.
struct control_sequence {
    bool is_private = false;
    std::vector<int> params = std::vector<int>(1, 0);
    char final = 0;
};

// Reads the control sequence whose parameters start at bytes[i], up to and
// including its final byte; false when the bytes end before it.
bool read_control_sequence(const std::string &bytes, std::size_t &i, control_sequence &c) {
    const std::size_t n = bytes.size();
    c.is_private = i < n && bytes[i] >= '<' && bytes[i] <= '?';
    for (; i < n && bytes[i] >= 0x30 && bytes[i] <= 0x3f; i++) {
        char ch = bytes[i];
        if (ch >= '0' && ch <= '9') {
            if (c.params.back() < 100000)
                c.params.back() = c.params.back() * 10 + (ch - '0');
        } else if (ch == ';') {
            c.params.push_back(0);
        }
    }
    while (i < n && bytes[i] >= 0x20 && bytes[i] <= 0x2f)
        i++;
    if (i >= n)
        return false;
    c.final = bytes[i++];
    return true;
}

// What a control sequence does to the terminal model: colours, or a cursor
// move (which ends a pending wrap); anything else it ignores.
void apply_control_sequence(terminal &t, const control_sequence &c) {
    if (c.is_private)
        return;
    int p0 = c.params[0] > 0 ? c.params[0] : 1;
    switch (c.final) {
        case 'm':
            term_sgr(t, c.params.data(), static_cast<int>(c.params.size()));
            return;  // a pending wrap stays pending
        case 'H':
        case 'f': {
            int col = c.params.size() > 1 && c.params[1] > 0 ? c.params[1] : 1;
            t.row = std::min(p0, TERM_HEIGHT) - 1;
            t.col = std::min(col, WIDTH) - 1;
            break;
        }
        case 'A':
            t.row = std::max(t.row - p0, 0);
            break;
        case 'B':
            t.row = std::min(t.row + p0, TERM_HEIGHT - 1);
            break;
        case 'C':
            t.col = std::min(t.col + p0, WIDTH - 1);
            break;
        case 'D':
            t.col = std::max(t.col - p0, 0);
            break;
        default:
            return;  // nothing the terminal model keeps
    }
    t.wrap_pending = false;
}

}  // namespace

void cast_replay(terminal &t, const std::string &bytes) {
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        unsigned char b = static_cast<unsigned char>(bytes[i]);
        if (b == '\r') {
            t.col = 0;
            t.wrap_pending = false;
            i++;
        } else if (b != 0x1b) {
            term_put(t, b);
            i++;
        } else if (i + 1 < n && bytes[i + 1] == 'c') {
            t = terminal{};
            i += 2;
        } else if (i + 1 >= n || bytes[i + 1] != '[') {
            i++;
        } else {
            i += 2;
            control_sequence c;
            if (!read_control_sequence(bytes, i, c))
                break;
            apply_control_sequence(t, c);
        }
    }
}

std::string cast_json_string(const char *p, std::size_t n) {
    std::string out = "\"";
    for (std::size_t i = 0; i < n; i++) {
        unsigned char c = static_cast<unsigned char>(p[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\r\\n";  // the tty adds the carriage return
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

std::string cast_unit(terminal &shown, unit_kind kind, const frame_codes &f, const char *bytes,
                      std::size_t n) {
    if (kind != unit_kind::frame) {
        term_apply(shown, kind, f);
        return std::string(bytes, n);
    }
    const terminal before = shown;
    term_apply(shown, kind, f);
    return cast_frame_delta(before, shown);
}
