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
#include <getopt.h>
#include <sys/stat.h>
#include <unistd.h>

#include "art/art.h"
#include "art/card_places.h"
#include "screen/pause.h"
#include "screen/render.h"
#include "screen/screen.h"

namespace {

const char USAGE[] =
    "usage: preview [--dir DIR] FILE [--at X Y] [--colours ATTR FG BG] [--back BG]\n"
    "       preview [--dir DIR] --word WORD\n"
    "       preview [--dir DIR] --font\n"
    "       preview [--dir DIR] --all\n"
    "\n"
    "Shows art on the terminal as the show draws it (80 x 24 cells; the\n"
    "terminal needs at least 80 columns and 25 lines).\n"
    "\n"
    "  FILE              an art card, e.g. grafik/intro1, drawn where and in the\n"
    "                    colours the show uses for it (a card the show does not\n"
    "                    know goes to (0, 0) as white blocks)\n"
    "  --at X Y          draw the card's top-left corner at column X, row Y\n"
    "  --colours A F B   draw it with SGR attribute A, foreground F, background B\n"
    "  --back BG         fill the screen with colour BG first (default the show's)\n"
    "  --word WORD       write WORD in the glyph font as the big words are shown\n"
    "  --font            show the whole glyph font, eight characters a screen\n"
    "  --all             show every card under grafik/, one after another\n"
    "  --dir DIR         the directory holding grafik/ (default: the current one)\n"
    "  --help            this text\n"
    "\n"
    "Cards are read as the show reads them: at most 4999 bytes (499 for smile).\n"
    "Colours: 0 black, 1 red, 2 green, 3 yellow, 4 blue, 5 magenta, 6 cyan, 7 white.\n";

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

// Prints the screen as one frame over 24 freshly reserved lines, as the
// render thread does.
void print_screen() {
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
    print_screen();
    return true;
}

void no_pause(long) {}

// A word as the big words show it: on a blue screen, glyphs at row 7.
void show_word(const char *word) {
    fill(1, 7, 4, ' ');
    puttext(word, 0);
    print_screen();
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

bool parse_int(const char *s, int &out) {
    char *end;
    long v = std::strtol(s, &end, 10);
    if (*s == '\0' || *end != '\0' || v < -100000 || v > 100000)
        return false;
    out = static_cast<int>(v);
    return true;
}

int usage_error(const char *what) {
    std::fprintf(stderr, "preview: %s\n%s", what, USAGE);
    return 2;
}

// The option's next command-line word as a number (for --at and --colours,
// whose later numbers follow the option's own argument).
bool next_int(int argc, char **argv, int &out) {
    if (optind >= argc || !parse_int(argv[optind], out))
        return false;
    optind++;
    return true;
}

// What the command line asks for: one card, a word, the font or every card.
struct request {
    std::string file, word;
    bool all = false, font = false, have_word = false;
    card_options card;
};

enum { AT = 256, COLOURS, BACK, WORD, FONT, ALL, DIR_OPTION };

// One option into the request: -1 to go on, or the exit status to stop with.
int take_option(int c, int argc, char **argv, request &r) {
    card_options &o = r.card;
    switch (c) {
        case 'h':
            std::fputs(USAGE, stdout);
            return 0;
        case DIR_OPTION:
            if (chdir(optarg) != 0) {
                std::fprintf(stderr, "preview: cannot enter %s\n", optarg);
                return 1;
            }
            return -1;
        case AT:
            if (!parse_int(optarg, o.x) || !next_int(argc, argv, o.y))
                return usage_error("--at needs two numbers");
            o.at = true;
            return -1;
        case COLOURS:
            if (!parse_int(optarg, o.attr) || !next_int(argc, argv, o.fg) ||
                !next_int(argc, argv, o.bg))
                return usage_error("--colours needs three numbers");
            o.colours = true;
            return -1;
        case BACK:
            if (!parse_int(optarg, o.back_bg))
                return usage_error("--back needs a colour number");
            o.back = true;
            return -1;
        case WORD:
            r.word = optarg;
            r.have_word = true;
            return -1;
        case FONT:
            r.font = true;
            return -1;
        case ALL:
            r.all = true;
            return -1;
        case ':':
            return usage_error((std::string(argv[optind - 1]) + " needs its argument").c_str());
        default:
            return usage_error((std::string("unknown option ") + argv[optind - 1]).c_str());
    }
}

// The command line into the request: -1 to go on, or the exit status to stop
// with (0 after --help, 2 for a bad command line).
int parse_options(int argc, char **argv, request &r) {
    if (argc < 2)
        return usage_error("nothing to show");
    const option options[] = {{"help", no_argument, nullptr, 'h'},
                              {"dir", required_argument, nullptr, DIR_OPTION},
                              {"at", required_argument, nullptr, AT},
                              {"colours", required_argument, nullptr, COLOURS},
                              {"colors", required_argument, nullptr, COLOURS},
                              {"back", required_argument, nullptr, BACK},
                              {"word", required_argument, nullptr, WORD},
                              {"font", no_argument, nullptr, FONT},
                              {"all", no_argument, nullptr, ALL},
                              {nullptr, 0, nullptr, 0}};
    for (int c; (c = getopt_long(argc, argv, ":h", options, nullptr)) != -1;)
        if (const int status = take_option(c, argc, argv, r); status >= 0)
            return status;
    for (; optind < argc; optind++) {
        if (!r.file.empty())
            return usage_error("one card at a time");
        r.file = argv[optind];
    }
    if (r.all + r.font + r.have_word + !r.file.empty() != 1)
        return usage_error("give one of FILE, --word, --font or --all");
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
