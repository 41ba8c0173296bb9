#include "shot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <unordered_map>
#include <utility>

namespace {

// Two colours are the same when no channel differs by more than this: the
// emulators that draw through OpenGL may round a colour by a step or two, and
// glyph edges blend ink into paper.
constexpr int TOLERANCE = 24;
// A visible glyph shows at least this many pixels of its ink, within a wider
// tolerance: a small glyph (a backtick) may have no pixel of pure ink at all.
constexpr int MIN_INK_PIXELS = 2;
constexpr int INK_TOLERANCE = 40;
// A cell with a glyph shows its paper in at least this share of its pixels: a
// bold capital may cover more of the cell than its paper does.
constexpr int GLYPH_PAPER_SHARE = 5;
// A screenshot is at most this big (a 1280x800 screen is 4 MB).
constexpr std::size_t MAX_IMAGE_BYTES = 64u << 20;

// Whether two colours (0xRRGGBB) lie within `tol` of each other in every channel.
bool colours_near(std::uint32_t a, std::uint32_t b, int tol = TOLERANCE) {
    for (int s = 0; s < 24; s += 8) {
        int d = static_cast<int>(a >> s & 0xff) - static_cast<int>(b >> s & 0xff);
        if (d > tol || d < -tol)
            return false;
    }
    return true;
}

std::uint32_t be32(const std::string &d, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(d[at])) << 24 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(d[at + 1])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(d[at + 2])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(d[at + 3]));
}

// The 8 bits of a channel under an X visual's mask.
std::uint32_t channel(std::uint32_t v, std::uint32_t mask) {
    if (!mask)
        return 0;
    int shift = 0;
    while (!(mask >> shift & 1))
        shift++;
    std::uint32_t top = mask >> shift;
    return (v >> shift & top) * 255 / top;
}

std::string read_xwd(const std::string &d, image &img) {
    // The header's 32-bit fields used here, by their place.
    enum { X_HEADER_SIZE, X_FORMAT = 2, X_WIDTH = 4, X_HEIGHT, X_BYTE_ORDER = 7 };
    enum { X_BPP = 11, X_BYTES_PER_LINE, X_RED = 14, X_GREEN, X_BLUE, X_NCOLORS = 19 };
    if (d.size() < 100)
        return "too short for a window dump";
    auto field = [&](int i) { return be32(d, 4 * static_cast<std::size_t>(i)); };
    std::uint32_t bpp = field(X_BPP), w = field(X_WIDTH), h = field(X_HEIGHT),
                  line = field(X_BYTES_PER_LINE);
    if (field(X_FORMAT) != 2 || (bpp != 24 && bpp != 32))
        return "not a 24 or 32 bit ZPixmap window dump";
    if (w == 0 || h == 0 || w > 8192 || h > 8192 || line < w * (bpp / 8))
        return "a window dump of an impossible size";
    std::size_t data = field(X_HEADER_SIZE) + static_cast<std::size_t>(field(X_NCOLORS)) * 12;
    if (field(X_HEADER_SIZE) > d.size() || field(X_NCOLORS) > 65536 ||
        data + static_cast<std::size_t>(line) * h > d.size())
        return "a window dump cut short";
    bool lsb = field(X_BYTE_ORDER) == 0;
    std::uint32_t rm = field(X_RED), gm = field(X_GREEN), bm = field(X_BLUE);
    img.w = static_cast<int>(w);
    img.h = static_cast<int>(h);
    img.px.resize(static_cast<std::size_t>(w) * h);
    const std::size_t step = bpp / 8;
    for (std::uint32_t y = 0; y < h; y++)
        for (std::uint32_t x = 0; x < w; x++) {
            const auto *p = reinterpret_cast<const unsigned char *>(&d[data + y * line + x * step]);
            std::uint32_t v = 0;
            for (std::size_t i = 0; i < step; i++)
                v |= static_cast<std::uint32_t>(p[lsb ? i : step - 1 - i]) << (8 * i);
            img.px[static_cast<std::size_t>(y) * w + x] =
                channel(v, rm) << 16 | channel(v, gm) << 8 | channel(v, bm);
        }
    return "";
}

std::string read_ppm(const std::string &d, image &img) {
    std::size_t i = 2;
    int nums[3];
    for (int &n : nums) {
        // Whitespace and comments, which run from '#' to the end of the line.
        while (i < d.size() &&
               (d[i] == ' ' || d[i] == '\n' || d[i] == '\t' || d[i] == '\r' || d[i] == '#'))
            if (d[i++] == '#')
                while (i < d.size() && d[i] != '\n')
                    i++;
        n = 0;
        std::size_t start = i;
        while (i < d.size() && d[i] >= '0' && d[i] <= '9' && i - start < 5)
            n = n * 10 + (d[i++] - '0');
        if (i == start)
            return "a PPM header without its sizes";
    }
    i++;  // the one whitespace byte before the pixels
    if (nums[0] <= 0 || nums[1] <= 0 || nums[2] != 255)
        return "not an 8-bit PPM";
    std::size_t n = static_cast<std::size_t>(nums[0]) * nums[1];
    if (d.size() < i + 3 * n)
        return "a PPM cut short";
    img.w = nums[0];
    img.h = nums[1];
    img.px.resize(n);
    for (std::size_t k = 0; k < n; k++) {
        const auto *p = reinterpret_cast<const unsigned char *>(&d[i + 3 * k]);
        img.px[k] = static_cast<std::uint32_t>(p[0]) << 16 | p[1] << 8 | p[2];
    }
    return "";
}

// Pixel bounds of one cell, a pixel in from each side so that neither the
// neighbours nor a rounding of the grid's place leak in.
struct cell_box {
    int x0, x1, y0, y1;
};

cell_box box_of(const grid_place &g, int col, int row, bool inset = true) {
    auto span = [inset](double start, double size, int i, int &a, int &b) {
        a = static_cast<int>(std::lround(start + i * size));
        b = static_cast<int>(std::lround(start + (i + 1) * size));
        if (inset && b - a > 3) {
            a++;
            b--;
        }
    };
    cell_box c;
    span(g.x0, g.cw, col, c.x0, c.x1);
    span(g.y0, g.ch, row, c.y0, c.y1);
    return c;
}

// The colours of a run of cells and their counts, commonest first.
using tally = std::vector<std::pair<std::uint32_t, int>>;

void count(tally &t, std::uint32_t c) {
    for (auto &e : t)
        if (e.first == c) {
            e.second++;
            return;
        }
    t.emplace_back(c, 1);
}

// The paper is read inside the cell; glyphs are looked for in the whole cell,
// since some reach its edge (an underscore lies on its last line).
tally colours(const image &img, const grid_place &g, int col, int row, int n = 1,
              bool inset = true) {
    tally t;
    for (int i = 0; i < n; i++) {
        cell_box b = box_of(g, col + i, row, inset);
        for (int y = std::max(b.y0, 0); y < std::min(b.y1, img.h); y++)
            for (int x = std::max(b.x0, 0); x < std::min(b.x1, img.w); x++)
                count(t, img.at(x, y));
    }
    std::sort(t.begin(), t.end(), [](const auto &a, const auto &b) { return a.second > b.second; });
    return t;
}

int pixels_near(const tally &t, std::uint32_t c, int tol = TOLERANCE) {
    int n = 0;
    for (const auto &e : t)
        if (colours_near(e.first, c, tol))
            n += e.second;
    return n;
}

int pixels(const tally &t) {
    int n = 0;
    for (const auto &e : t)
        n += e.second;
    return n;
}

// One sample of the card: `n` cells from (col, row) on, all showing `key`
// as paper or as ink.
struct sample {
    int row, col, n;
    bool paper;
    int key;
};

constexpr int SAMPLE_CELLS = 4;
constexpr int DEFAULT_COL = 42;

std::vector<sample> card_samples() {
    std::vector<sample> s;
    for (int k = 0; k < 8; k++) {
        s.push_back({2, 2 + 5 * k, SAMPLE_CELLS, true, k});
        s.push_back({4, 2 + 5 * k, SAMPLE_CELLS, false, k});
        s.push_back({6, 2 + 5 * k, SAMPLE_CELLS, false, k + 8});
    }
    s.push_back({2, DEFAULT_COL, SAMPLE_CELLS, true, PAPER_DEFAULT});
    s.push_back({4, DEFAULT_COL, SAMPLE_CELLS, false, INK_DEFAULT});
    s.push_back({6, DEFAULT_COL, SAMPLE_CELLS, false, INK_DEFAULT_BOLD});
    return s;
}

std::string key_name(int paper) {
    static const char *const names[] = {"black", "red",     "green", "yellow",
                                        "blue",  "magenta", "cyan",  "white"};
    return paper < 8 ? names[paper] : "default";
}

}  // namespace

std::string read_image(const std::string &path, image &img) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return "cannot read " + path;
    std::string d;
    char buf[65536];
    while (in.read(buf, sizeof buf) || in.gcount() > 0) {
        d.append(buf, static_cast<std::size_t>(in.gcount()));
        if (d.size() > MAX_IMAGE_BYTES)
            return path + " is too big for a screenshot";
    }
    std::string why;
    if (d.size() >= 2 && d[0] == 'P' && d[1] == '6')
        why = read_ppm(d, img);
    else if (d.size() >= 8 && be32(d, 4) == 7)
        why = read_xwd(d, img);
    else
        why = "neither a window dump nor a PPM";
    return why.empty() ? why : path + ": " + why;
}

std::string ppm_bytes(const image &img) {
    std::string d = "P6\n" + std::to_string(img.w) + " " + std::to_string(img.h) + "\n255\n";
    for (std::uint32_t c : img.px) {
        d += static_cast<char>(c >> 16);
        d += static_cast<char>(c >> 8);
        d += static_cast<char>(c);
    }
    return d;
}

int ink_key(const pen &p) {
    if (p.fg == DEFAULT_COLOUR)
        return p.bold ? INK_DEFAULT_BOLD : INK_DEFAULT;
    return p.bold && p.fg < 8 ? p.fg + 8 : p.fg;
}

int paper_key(const pen &p) { return p.bg == DEFAULT_COLOUR ? PAPER_DEFAULT : p.bg; }

int raw_column(int c) { return 2 + 8 * (c - RAW_FIRST); }

frame_codes test_card() {
    frame_codes f;
    for (auto &row : f.cells)
        for (cell_code &c : row)
            c = {0, 31, 41, ' '};
    for (const sample &s : card_samples()) {
        int k = s.key, attr = 0, fg = 9, bg = 9;  // 39 and 49: the default colours
        if (s.paper && k < 8) {
            fg = 7;
            bg = k;
        } else if (!s.paper && k < 16) {
            attr = k >= 8;
            fg = k % 8;
            bg = fg == 0 ? 7 : 0;
        } else if (k == INK_DEFAULT_BOLD) {
            attr = 1;
        }
        for (int i = 0; i < s.n; i++)
            f.cells[s.row][s.col + i] = {attr, 30 + fg, 40 + bg,
                                         static_cast<unsigned char>(s.paper ? ' ' : '#')};
    }
    for (int c = RAW_FIRST; c <= RAW_LAST; c++) {
        int x = raw_column(c);
        f.cells[RAW_ROW][x] = {0, 37, 44, ' '};
        for (int i = 1; i <= SAMPLE_CELLS; i++)
            f.cells[RAW_ROW][x + i] = {1, 30 + c, 40 + c, ' '};
    }
    return f;
}

std::string find_grid(const image &card, grid_place &g) {
    if (card.w < WIDTH || card.h < HEIGHT)
        return "the screenshot is too small";
    const std::uint32_t root = card.at(card.w - 1, card.h - 1);
    std::unordered_map<std::uint32_t, long> seen;
    for (std::uint32_t c : card.px)
        if (c != root)
            seen[c]++;
    if (seen.empty())
        return "the screen is empty: no window showed";
    auto top = std::max_element(seen.begin(), seen.end(),
                                [](const auto &a, const auto &b) { return a.second < b.second; });
    const std::uint32_t red = top->first;
    int x0 = card.w, y0 = card.h, x1 = -1, y1 = -1;
    for (int y = 0; y < card.h; y++)
        for (int x = 0; x < card.w; x++)
            if (colours_near(card.at(x, y), red, 8)) {
                x0 = std::min(x0, x);
                x1 = std::max(x1, x);
                y0 = std::min(y0, y);
                y1 = std::max(y1, y);
            }
    g = {static_cast<double>(x0), static_cast<double>(y0), (x1 - x0 + 1) / double(WIDTH),
         (y1 - y0 + 1) / double(HEIGHT)};
    if (g.cw < 3 || g.ch < 5)
        return "the test card was not found: its red area is too small";
    // The whole ring of the card is red; anything else is not the card.
    int ring = 0, red_cells = 0;
    for (int y = 0; y < HEIGHT; y++)
        for (int x = 0; x < WIDTH; x++)
            if (x == 0 || y == 0 || x == WIDTH - 1 || y == HEIGHT - 1) {
                ring++;
                red_cells += colours_near(cell_paper(card, g, x, y), red);
            }
    if (red_cells * 20 < ring * 19) {
        char msg[120];
        std::snprintf(msg, sizeof msg, "the test card was not found: %d of the %d cells round it",
                      red_cells, ring);
        return std::string(msg) + " show its paper";
    }
    return "";
}

std::string read_palette(const image &card, const grid_place &g, palette &pal) {
    std::fill(std::begin(pal.ink), std::end(pal.ink), -1);
    std::fill(std::begin(pal.paper), std::end(pal.paper), -1);
    for (const sample &s : card_samples()) {
        tally t = colours(card, g, s.col, s.row, s.n);
        if (t.empty())
            return "the test card lies partly off the screen";
        if (s.paper) {
            pal.paper[s.key] = t[0].first;
            continue;
        }
        // The ink: the commonest colour that is not the paper's.
        for (std::size_t i = 1; i < t.size(); i++)
            if (!colours_near(t[i].first, t[0].first)) {
                pal.ink[s.key] = t[i].first;
                break;
            }
        if (pal.ink[s.key] < 0) {
            char msg[80];
            std::snprintf(msg, sizeof msg, "the test card shows no glyph for ink %d", s.key);
            return msg;
        }
    }
    return "";
}

std::uint32_t cell_paper(const image &img, const grid_place &g, int col, int row) {
    tally t = colours(img, g, col, row);
    return t.empty() ? 0xffffffffu : t[0].first;
}

int cells_matching(const image &img, const grid_place &g, const palette &pal, const terminal &t,
                   std::vector<int> *misses) {
    int matched = 0;
    for (int y = 0; y < HEIGHT; y++)
        for (int x = 0; x < WIDTH; x++) {
            const term_cell &c = t.cells[y][x];
            long paper = pal.paper[paper_key(c.look)], ink = pal.ink[ink_key(c.look)];
            tally seen = colours(img, g, x, y);
            bool glyph =
                c.ch != ' ' && (ink < 0 || !colours_near(static_cast<std::uint32_t>(ink),
                                                         static_cast<std::uint32_t>(paper)));
            // Without a glyph the paper is the cell's commonest colour; with
            // one it covers a fair share of the cell, and the ink shows.
            bool ok = paper >= 0 && !seen.empty();
            if (ok && !glyph)
                ok = colours_near(seen[0].first, static_cast<std::uint32_t>(paper));
            if (ok && glyph)
                ok = pixels_near(seen, static_cast<std::uint32_t>(paper)) * GLYPH_PAPER_SHARE >=
                         pixels(seen) &&
                     ink >= 0 &&
                     pixels_near(colours(img, g, x, y, 1, false), static_cast<std::uint32_t>(ink),
                                 INK_TOLERANCE) >= MIN_INK_PIXELS;
            if (ok)
                matched++;
            else if (misses)
                misses->push_back(y * WIDTH + x);
        }
    return matched;
}

terminal card_terminal() {
    terminal t;
    frame_codes none{}, card = test_card();
    term_apply(t, unit_kind::reset, none);
    term_apply(t, unit_kind::reserve, none);
    term_apply(t, unit_kind::frame, card);
    return t;
}

void outline_cells(image &img, const grid_place &g, const std::vector<int> &cells,
                   std::uint32_t colour) {
    for (int i : cells) {
        cell_box b = box_of(g, i % WIDTH, i / WIDTH, false);
        for (int y = std::max(b.y0, 0); y < std::min(b.y1, img.h); y++)
            for (int x = std::max(b.x0, 0); x < std::min(b.x1, img.w); x++)
                if (y == b.y0 || y == b.y1 - 1 || x == b.x0 || x == b.x1 - 1)
                    img.px[static_cast<std::size_t>(y) * img.w + x] = colour;
    }
}

std::string raw_reading(const image &card, const grid_place &g, const palette &pal, int c) {
    tally t = colours(card, g, raw_column(c) + 1, RAW_ROW, SAMPLE_CELLS);
    if (t.empty())
        return "not seen";
    // Every key whose paper is nearest: an emulator may show one colour for two.
    long best = -1;
    std::string names;
    bool as_recorded = false;
    static const terminal model = card_terminal();
    const int recorded = paper_key(model.cells[RAW_ROW][raw_column(c) + 1].look);
    for (int k = 0; k < KEYS; k++) {
        if (pal.paper[k] < 0)
            continue;
        long d = 0;
        for (int s = 0; s < 24; s += 8) {
            long a = static_cast<long>(t[0].first >> s & 0xff) - (pal.paper[k] >> s & 0xff);
            d += a * a;
        }
        if (best < 0 || d < best) {
            best = d;
            names = key_name(k);
            as_recorded = k == recorded;
        } else if (d == best) {
            names += "/" + key_name(k);
            as_recorded = as_recorded || k == recorded;
        }
    }
    if (best > 3 * TOLERANCE * TOLERANCE)
        names += " (nearest)";
    if (!as_recorded)
        names += ", where the recorder has " + key_name(recorded);
    return names;
}
