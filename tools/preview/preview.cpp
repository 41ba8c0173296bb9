// preview: shows an art card, or a word in the glyph font, on the terminal
// exactly as the show draws it: the same grid, the same primitives and the
// same frame encoding as the render thread. For people drawing the art.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "art/art.h"
#include "art/card_places.h"
#include "screen/pause.h"
#include "screen/render.h"
#include "screen/screen.h"
#include "tool_options.h"

namespace {

const char USAGE[] =
    "usage: preview [--dir DIR] FILE [--at X Y] [--colours ATTR FG BG] [--back BG]\n"
    "       preview [--dir DIR] --word WORD\n"
    "       preview [--dir DIR] --font\n"
    "       preview [--dir DIR] --all\n"
    "\n"
    "Shows art on the terminal as the show draws it (80 x 24 cells; the\n"
    "terminal needs at least 80 columns and 25 lines). FILE is an art card,\n"
    "e.g. grafik/intro1, drawn where and in the colours the show uses for it\n"
    "(a card the show does not know goes to (0, 0) as white blocks).\n";

const char NOTES[] =
    "\n"
    "Cards are read as the show reads them: at most 4999 bytes (499 for smile).\n"
    "Colours: 0 black, 1 red, 2 green, 3 yellow, 4 blue, 5 magenta, 6 cyan, 7 white;\n"
    "attributes: 0 normal, 1 bold (bright ink).\n";

const card_place UNKNOWN = {"", 0, 0, 0, 0, 1, 7, 7, GROUND_BLUE, scene_card("the preview's own")};

// The show's placement of a card, found by its file name (directories dropped).
const card_place &place_of(const std::string &path) {
    std::string name = path.substr(path.find_last_of('/') + 1);
    std::size_t digits = name.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1])))
        digits--;
    std::string stem = name.substr(0, digits);
    int number = digits < name.size() ? std::atoi(name.c_str() + digits) : 0;
    for (const card_place &p : CARD_PLACES)
        if (stem == p.stem && number >= p.from && number <= p.to)
            return p;
    return UNKNOWN;
}

char frame[FRAME_MAX];

// With nowhere to print, the preview has failed: it says so and ends with status 1.
void put(const char *buf, std::size_t len) {
    errno = 0;
    if (!write_all(buf, len)) {
        std::fprintf(stderr, "preview: cannot write to standard output: %s\n",
                     errno ? std::strerror(errno) : "nothing written");
        std::exit(1);
    }
}

// Prints the screen at once as one frame over 24 freshly reserved lines, as
// the render thread does.
void print_frame_now() {
    char blank[WIDTH + 1];
    std::memset(blank, ' ', WIDTH);
    blank[WIDTH] = '\n';
    for (int i = 0; i < HEIGHT; i++)
        put(blank, sizeof blank);
    put(frame, encode_frame(frame));
}

void print_text(const std::string &s) { put(s.c_str(), s.size()); }

// Leaves the terminal in its normal colours after the last frame.
void finish() { print_text("\033[0m"); }

struct card_options {
    bool at = false, colours = false, back = false;
    int x = 0, y = 0, attr = 1, fg = 7, bg = 7, back_bg = 4;
};

bool show_card(const std::string &path, const card_options &o, bool caption) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        std::fprintf(stderr, "preview: %s: no such card\n", path.c_str());
        return false;
    }
    // The show's row for the card, with what the options change.
    card_place p = place_of(path);
    if (o.at) {
        p.x = o.x;
        p.y = o.y;
    }
    if (o.colours) {
        p.attr = o.attr;
        p.fg = o.fg;
        p.bg = o.bg;
    }
    if (o.back)
        p.ground = {true, p.ground.filled ? p.ground.attr : GROUND_BLUE.attr,
                    p.ground.filled ? p.ground.fg : GROUND_BLUE.fg, o.back_bg};
    static char card[CARD_SIZE];
    std::size_t size = p.buffer.size;
    read_art(card, size, path.c_str());

    // Drawn as the show draws it; a card the show puts over another picture
    // lies on the blank blue screen here.
    fill(GROUND_BLUE.attr, GROUND_BLUE.fg, GROUND_BLUE.bg, ' ');
    ::show_card(p, card);

    if (caption) {
        char line[200];
        std::snprintf(line, sizeof line, "\033[0m%s at (%d, %d), colours %d;%d;%d, %lld bytes%s\n",
                      path.c_str(), p.x, p.y, p.attr, p.fg, p.bg,
                      static_cast<long long>(st.st_size),
                      static_cast<std::size_t>(st.st_size) >= size ? " -- TOO LONG, cut" : "");
        print_text(line);
    }
    print_frame_now();
    return true;
}

void no_pause(long) {}

// A word as the big words show it: on a blue screen, glyphs at row 7.
void show_word(const char *word) {
    fill(1, 7, 4, ' ');
    puttext(word, 0);
    print_frame_now();
}

// Orders names so that card10 follows card9.
bool natural_less(const std::string &a, const std::string &b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit(static_cast<unsigned char>(a[i])) &&
            std::isdigit(static_cast<unsigned char>(b[j]))) {
            std::size_t ie = i, je = j;
            while (ie < a.size() && std::isdigit(static_cast<unsigned char>(a[ie])))
                ie++;
            while (je < b.size() && std::isdigit(static_cast<unsigned char>(b[je])))
                je++;
            long na = std::atol(a.substr(i, ie - i).c_str()),
                 nb = std::atol(b.substr(j, je - j).c_str());
            if (na != nb)
                return na < nb;
            i = ie;
            j = je;
        } else {
            if (a[i] != b[j])
                return a[i] < b[j];
            i++;
            j++;
        }
    }
    return a.size() - i < b.size() - j;
}

int show_all() {
    std::vector<std::string> names;
    if (DIR *d = opendir("grafik")) {
        while (dirent *e = readdir(d)) {
            std::string path = std::string("grafik/") + e->d_name;
            struct stat st;
            if (e->d_name[0] != '.' && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
                names.push_back(e->d_name);
        }
        closedir(d);
    }
    if (names.empty()) {
        std::fprintf(stderr, "preview: no cards under grafik/\n");
        return 1;
    }
    std::sort(names.begin(), names.end(), natural_less);
    for (const std::string &n : names)
        show_card("grafik/" + n, card_options{}, true);
    finish();
    return 0;
}

int show_font() {
    load_font();
    for (int j = 0; j < GLYPHS; j += 8) {
        char word[9] = {};
        for (int k = 0; k < 8 && j + k < GLYPHS; k++)
            word[k] = static_cast<char>(table[j + k]);
        print_text(std::string("\033[0m") + word + "\n");
        show_word(word);
    }
    finish();
    return 0;
}

// The numbers of an option that takes several, "--at X Y", each a whole
// number within its range; why they are refused, or "".
std::string whole_numbers(const char *option, const std::vector<const char *> &words,
                          std::initializer_list<std::pair<int *, std::pair<int, int>>> into) {
    std::size_t i = 0;
    for (const auto &[to, range] : into) {
        double v = 0;
        std::string why =
            tool_options::read_number(option, words[i++], range.first, range.second, v, true);
        if (!why.empty())
            return why;
        *to = static_cast<int>(v);
    }
    return "";
}

// What the command line asks for: one card, a word, the font or every card.
struct request {
    std::string file, word;
    bool all = false, font = false, have_word = false;
    card_options card;
};

// The command line into the request: -1 to go on, or the exit status to stop
// with (0 after --help, 2 for a bad command line).
int parse_options(int argc, char **argv, request &r) {
    card_options &o = r.card;
    const std::pair<int, int> COLOUR = {0, 7}, ATTR = {0, 1}, X = {1 - WIDTH, WIDTH - 1},
                              Y = {1 - HEIGHT, HEIGHT - 1};
    tool_options line("preview", USAGE, NOTES);
    line.custom("at", "X Y", "draw the card's top-left corner at column X, row Y", 2,
                [&](const std::vector<const char *> &w) {
                    o.at = true;
                    return whole_numbers("--at", w, {{&o.x, X}, {&o.y, Y}});
                });
    line.custom("colours", "A F B", "draw it with attribute A, foreground F, background B", 3,
                [&](const std::vector<const char *> &w) {
                    o.colours = true;
                    return whole_numbers("--colours", w,
                                         {{&o.attr, ATTR}, {&o.fg, COLOUR}, {&o.bg, COLOUR}});
                });
    line.alias("colors");
    line.custom("back", "BG", "fill the screen with colour BG first (default the show's)", 1,
                [&](const std::vector<const char *> &w) {
                    o.back = true;
                    return whole_numbers("--back", w, {{&o.back_bg, COLOUR}});
                });
    line.custom("word", "WORD", "write WORD in the glyph font as the big words are shown", 1,
                [&](const std::vector<const char *> &w) {
                    r.word = w[0];
                    r.have_word = true;
                    return std::string();
                });
    line.flag("font", "show the whole glyph font, eight characters a screen", r.font);
    line.flag("all", "show every card under grafik/, one after another", r.all);
    line.custom("dir", "DIR", "the directory holding grafik/ (default: the current one)", 1,
                [](const std::vector<const char *> &w) {
                    return chdir(w[0]) == 0
                               ? std::string()
                               : std::string("cannot enter ") + w[0] + ": " + std::strerror(errno);
                });
    if (const int status = line.parse(argc, argv, 0, 1); status >= 0)
        return status;
    if (!line.operands().empty())
        r.file = line.operands()[0];
    if (r.all + r.font + r.have_word + !r.file.empty() != 1)
        return line.mistake("give one of FILE, --word, --font or --all");
    return -1;
}

// Shows what was asked for; the exit status.
int show(const request &r) {
    if (r.all)
        return show_all();
    if (r.font)
        return show_font();
    if (r.have_word) {
        load_font();
        show_word(r.word.c_str());
        finish();
        return 0;
    }
    bool ok = show_card(r.file, r.card, false);
    if (ok)
        finish();
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv) {
    set_pause_hook(no_pause);
    request r;
    if (const int status = parse_options(argc, argv, r); status >= 0)
        return status;
    return show(r);
}
