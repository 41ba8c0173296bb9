#include "term.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cmath>
#include <cstring>

namespace {

// A PSF1 font of 512 glyphs 32 rows high and its table take well under this.
constexpr std::size_t MAX_FONT_BYTES = 1 << 20;

// 0xRRGGBB of colours 0 to 15 (8 to 15 the bright ones).
const std::uint32_t PALETTE[16] = {
    0x000000, 0xaa0000, 0x00aa00, 0xaa5500, 0x0000aa, 0xaa00aa, 0x00aaaa, 0xaaaaaa,
    0x555555, 0xff5555, 0x55ff55, 0xffff55, 0x5555ff, 0xff55ff, 0x55ffff, 0xffffff,
};

// ESC c: blank screen, cursor home, plain pen.
void term_reset(terminal &t) { t = terminal{}; }

void line_feed(terminal &t) {
    t.col = 0;
    t.wrap_pending = false;
    if (t.row < TERM_HEIGHT - 1) {
        t.row++;
        return;
    }
    std::memmove(&t.cells[0], &t.cells[1], sizeof(t.cells[0]) * (TERM_HEIGHT - 1));
    for (term_cell &c : t.cells[TERM_HEIGHT - 1])
        c = term_cell{' ', pen{false, false, DEFAULT_COLOUR, t.now.bg}};
}

}  // namespace

void term_sgr(terminal &t, const int *params, int count) {
    pen &p = t.now;
    for (int i = 0; i < count; i++) {
        int v = params[i];
        if (v == 0)
            p = pen{};
        else if (v == 1)
            p.bold = true;
        else if (v == 22)
            p.bold = false;
        else if (v >= 30 && v <= 37)
            p.fg = v - 30;
        else if (v == 39)
            p.fg = DEFAULT_COLOUR;
        else if (v >= 40 && v <= 47)
            p.bg = v - 40;
        else if (v == 49)
            p.bg = DEFAULT_COLOUR;
        else if (v == 53)
            p.overline = true;
        else if (v == 55)
            p.overline = false;
        else if (v >= 90 && v <= 97)
            p.fg = v - 90 + 8;  // the bright colours, which only the compact cast prints
        else if (v >= 100 && v <= 107)
            p.bg = v - 100 + 8;
        else if (v == 38 || v == 48 || v == 58) {
            // An extended colour: tmux takes the next parameter as its kind
            // (5 indexed, 2 RGB) and drops it when it is neither, so "38;44"
            // changes nothing at all.
            int kind = i + 1 < count ? params[++i] : -1;
            if (kind == 5 && i + 1 < count) {
                int n = params[++i];
                if (n < 16 && v != 58)
                    (v == 38 ? p.fg : p.bg) = n;
            } else if (kind == 2) {
                i += 3;
            }
        }
        // tmux ignores every other number the show could print (50 to 52).
    }
}

void term_put(terminal &t, unsigned char b) {
    if (b == '\n') {
        line_feed(t);
        return;
    }
    if (b < 0x20 || b > 0x7e)
        return;  // NUL and the like take no cell
    if (t.wrap_pending)
        line_feed(t);
    t.cells[t.row][t.col] = term_cell{b, t.now};
    if (t.col == WIDTH - 1)
        t.wrap_pending = true;
    else
        t.col++;
}

void term_apply(terminal &t, unit_kind kind, const frame_codes &f) {
    switch (kind) {
        case unit_kind::reset:
            term_reset(t);
            break;
        case unit_kind::hide_cursor:
            break;
        case unit_kind::reserve:
            for (int y = 0; y < HEIGHT; y++) {
                for (int x = 0; x < WIDTH; x++)
                    term_put(t, ' ');
                term_put(t, '\n');
            }
            break;
        case unit_kind::frame:
            for (int k = 0; k < HEIGHT; k++) {
                if (t.row > 0)
                    t.row--;
                t.wrap_pending = false;
            }
            for (int y = 0; y < HEIGHT; y++) {
                for (int x = 0; x < WIDTH; x++) {
                    const cell_code &c = f.cells[y][x];
                    int params[3] = {c.attr, c.fg, c.bg};
                    term_sgr(t, params, 3);
                    term_put(t, c.data);
                }
                term_put(t, '\n');
            }
            break;
    }
}

namespace {

// The font file opened for reading, or -1 with `why` set. It is opened
// without waiting, so that a FIFO cannot hold the recorder before it is seen
// to be one, and kept only when it is a regular file.
int open_font_file(const std::string &path, std::string &why) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        why = std::strerror(errno);
        return -1;
    }
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        return fd;
    }
    why = S_ISDIR(st.st_mode) ? "it is a folder" : "it is not a regular file";
    close(fd);
    return -1;
}

}  // namespace

std::string load_font(const std::string &path, console_font &font) {
    std::string why;
    const int fd = open_font_file(path, why);
    // zlib reads a gzipped font and passes a plain one through unchanged.
    gzFile in = fd < 0 ? nullptr : gzdopen(fd, "rb");
    if (fd >= 0 && !in) {
        why = std::strerror(errno);
        close(fd);
    }
    if (!in)
        return "cannot read the font " + path + ": " + why;
    std::vector<std::uint8_t> raw;
    std::uint8_t buf[65536];
    int n;
    while ((n = gzread(in, buf, sizeof buf)) > 0 && raw.size() <= MAX_FONT_BYTES)
        raw.insert(raw.end(), buf, buf + n);
    bool failed = n < 0;
    gzclose(in);
    if (failed)
        return "cannot read the font " + path + ": it is damaged";
    if (raw.size() > MAX_FONT_BYTES)
        return path + " is too big for a console font";
    if (raw.size() < 4 || raw[0] != 0x36 || raw[1] != 0x04)
        return path + " is not a PSF1 console font";
    int count = raw[2] & 1 ? 512 : 256;
    font.height = raw[3];
    std::size_t table = 4 + static_cast<std::size_t>(count) * font.height;
    if (font.height == 0 || raw.size() < table || !(raw[2] & 6))
        return path + " has no glyphs or no Unicode table";
    font.glyphs.assign(raw.begin() + 4, raw.begin() + static_cast<long>(table));
    for (int &g : font.index)
        g = -1;
    // The table lists, glyph by glyph, the code points it shows (16-bit
    // little-endian), then 0xFFFE and sequences, ended by 0xFFFF.
    int glyph = 0;
    bool sequences = false;
    for (std::size_t i = table; i + 1 < raw.size() && glyph < count; i += 2) {
        unsigned u = raw[i] | raw[i + 1] << 8;
        if (u == 0xffff) {
            glyph++;
            sequences = false;
        } else if (u == 0xfffe) {
            sequences = true;
        } else if (!sequences && u < 128 && font.index[u] < 0) {
            font.index[u] = glyph;
        }
    }
    if (font.index[static_cast<int>(' ')] < 0)
        return path + " has no glyph for the space";
    return "";
}

int ink_of(const pen &p) {
    int c = p.fg == DEFAULT_COLOUR ? 7 : p.fg;
    return p.bold ? c | 8 : c;
}

int paper_of(const pen &p) { return p.bg == DEFAULT_COLOUR ? 0 : p.bg; }

namespace {

// Picture of the terminal, one palette index per pixel, WIDTH*8 by TERM_HEIGHT*height.
void render_indexed(const terminal &t, const console_font &font, std::uint8_t *pixels) {
    const int w = WIDTH * 8, h = font.height;
    for (int y = 0; y < TERM_HEIGHT; y++)
        for (int x = 0; x < WIDTH; x++) {
            const term_cell &c = t.cells[y][x];
            int g = font.index[c.ch] >= 0 ? font.index[c.ch] : font.index[static_cast<int>('?')];
            const std::uint8_t *rows = &font.glyphs[static_cast<std::size_t>(g < 0 ? 0 : g) * h];
            std::uint8_t ink = static_cast<std::uint8_t>(ink_of(c.look));
            std::uint8_t paper = static_cast<std::uint8_t>(paper_of(c.look));
            for (int r = 0; r < h; r++) {
                unsigned bits = r == 0 && c.look.overline ? 0xff : rows[r];
                std::uint8_t *out = pixels + static_cast<std::size_t>(y * h + r) * w + x * 8;
                for (int b = 0; b < 8; b++)
                    out[b] = bits & (0x80u >> b) ? ink : paper;
            }
        }
}

}  // namespace

void render_rgb(const terminal &t, const console_font &font, std::uint8_t *rgb) {
    const std::size_t n = static_cast<std::size_t>(WIDTH) * 8 * TERM_HEIGHT * font.height;
    std::vector<std::uint8_t> idx(n);
    render_indexed(t, font, idx.data());
    for (std::size_t i = 0; i < n; i++) {
        std::uint32_t c = PALETTE[idx[i]];
        rgb[3 * i] = static_cast<std::uint8_t>(c >> 16);
        rgb[3 * i + 1] = static_cast<std::uint8_t>(c >> 8);
        rgb[3 * i + 2] = static_cast<std::uint8_t>(c);
    }
}

namespace {

struct yuv {
    std::uint8_t y, u, v;
};

// BT.709 in TV range, which players assume for pictures of this size.
yuv to_yuv(std::uint32_t c) {
    double r = (c >> 16 & 0xff) / 255.0, g = (c >> 8 & 0xff) / 255.0, b = (c & 0xff) / 255.0;
    double y = 0.2126 * r + 0.7152 * g + 0.0722 * b;
    return {static_cast<std::uint8_t>(std::lround(16 + 219 * y)),
            static_cast<std::uint8_t>(std::lround(128 + 224 * (b - y) / 1.8556)),
            static_cast<std::uint8_t>(std::lround(128 + 224 * (r - y) / 1.5748))};
}

}  // namespace

void render_yuv2x(const terminal &t, const console_font &font, std::uint8_t *out) {
    static const std::vector<yuv> table = [] {
        std::vector<yuv> t;
        for (std::uint32_t c : PALETTE)
            t.push_back(to_yuv(c));
        return t;
    }();
    const int w = WIDTH * 8, h = TERM_HEIGHT * font.height;
    std::vector<std::uint8_t> idx(static_cast<std::size_t>(w) * h);
    render_indexed(t, font, idx.data());
    // Every source pixel becomes a 2x2 block, so each chroma sample covers
    // exactly one source pixel and the colours stay sharp.
    std::uint8_t *ly = out, *lu = out + 4 * w * h, *lv = lu + w * h;
    for (int y = 0; y < h; y++) {
        const std::uint8_t *src = &idx[static_cast<std::size_t>(y) * w];
        std::uint8_t *row0 = ly + static_cast<std::size_t>(2 * y) * 2 * w;
        std::uint8_t *row1 = row0 + 2 * w;
        for (int x = 0; x < w; x++) {
            const yuv &c = table[src[x]];
            row0[2 * x] = row0[2 * x + 1] = row1[2 * x] = row1[2 * x + 1] = c.y;
            lu[static_cast<std::size_t>(y) * w + x] = c.u;
            lv[static_cast<std::size_t>(y) * w + x] = c.v;
        }
    }
}
