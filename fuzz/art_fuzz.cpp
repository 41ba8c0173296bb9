// Fuzz target of the art readers and of drawing what they read: an art card,
// glyphs of the font and a text, each read from a file as the show reads them
// and drawn onto the screen grid as the show draws them. The frame the render
// thread would print of that screen must hold no control byte but the frame's
// own: whatever the files hold, nothing of them steers the terminal.
//
// The input is split at every 0xFF byte (no art file holds one): the first
// part is a card, the last a text, and every part between is a glyph, its
// first byte choosing the character (modulo the 66 glyphs) and the rest its
// file (16 glyphs at most). The glyphs the input does not give are the real
// font's, loaded once by load_font() from a temporary folder that holds a
// copy of grafik/letters (the working directory only while it loads, so
// libFuzzer's own relative paths keep working); each glyph given is read into
// its place by the same reader. fuzz/run.sh puts the folder on a memory file
// system where there is one: each input rewrites a file, which on a disk file
// system is written back to the disk at once.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "art/art.h"
#include "screen/pause.h"
#include "screen/render.h"
#include "screen/screen.h"
#include "stream_format.h"

namespace {

std::string folder;                        // the temporary folder
std::string real_glyphs[GLYPHS];           // the font's own files
char real_letters[GLYPHS + 1][CARD_SIZE];  // the font's own glyphs, as load_font() reads them

std::string glyph_path(int j) {
    return folder + "/grafik/letters/" + std::string(1, static_cast<char>(table[j]));
}
std::string card_path() { return folder + "/grafik/card"; }
std::string glyph_file() { return folder + "/grafik/glyph"; }

void write_file(const std::string &path, const char *p, std::size_t n) {
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(p, 1, n, f) != n || std::fclose(f) != 0) {
        std::perror(path.c_str());
        std::abort();
    }
}

void write_file(const std::string &path, const std::string &s) {
    write_file(path, s.data(), s.size());
}

void remove_folder() {
    for (int j = 0; j < GLYPHS; j++)
        std::remove(glyph_path(j).c_str());
    std::remove(card_path().c_str());
    std::remove(glyph_file().c_str());
    rmdir((folder + "/grafik/letters").c_str());
    rmdir((folder + "/grafik").c_str());
    rmdir(folder.c_str());
}

// load_font() reads the glyphs from the working directory.
void load_font_there() {
    char here[4096];
    if (!getcwd(here, sizeof here) || chdir(folder.c_str()) != 0)
        std::abort();
    load_font();
    if (chdir(here) != 0)
        std::abort();
}

// Copies the real font into a new temporary folder and works there.
void set_up() {
    for (int j = 0; j < GLYPHS; j++) {
        std::ifstream in(std::string(GRAFIK_DIR) + "/letters/" + char(table[j]), std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        real_glyphs[j] = s.str();
    }
    // In $TMPDIR, which fuzz/run.sh makes for each run and removes after it,
    // whatever way the run ends (a report or a timeout skips the clean-up here).
    const char *base = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp";
    std::string name = std::string(base) + "/art_fuzz.XXXXXX";
    if (!mkdtemp(name.data()) || mkdir((name + "/grafik").c_str(), 0700) != 0 ||
        mkdir((name + "/grafik/letters").c_str(), 0700) != 0) {
        std::perror("art_fuzz: temporary folder");
        std::abort();
    }
    folder = name;
    std::atexit(remove_folder);
    for (int j = 0; j < GLYPHS; j++)
        write_file(glyph_path(j), real_glyphs[j]);
    load_font_there();
    std::memcpy(real_letters, letters, sizeof letters);
    set_pause_hook([](long) {});
}

// Lays out and draws a few frames of the scroller for a text of any length:
// the first, the middle and the last, as scrolla steps through them (scrolla
// itself, a frame every two columns, would take most of the time).
void scroll_some(const char *s) {
    const long chars = static_cast<long>(std::strlen(s));
    const long frames = (13 * chars + 1) / 2;  // as scrolla runs: ceil(13 * length / 2)
    scroll_clear();
    scroll_glyph out[SCROLL_MAX_GLYPHS];
    for (long f : {1L, frames / 2, frames}) {
        if (f < 1)
            continue;
        int n = scroll_frame(s, chars, 15 * chars + 122 - 2 * f, out);
        if (n < 0 || n > SCROLL_MAX_GLYPHS)
            std::abort();
        for (int k = 0; k < n; k++)
            if (const char *g = glyph(out[k].c))
                mutta(out[k].x, out[k].y, 1, 7, 7, g);
    }
}

bool control(unsigned char c) { return c < 32 || c == 127 || (c >= 128 && c < 160); }

// Encodes the screen as the render thread does and checks the frame's form:
// the cursor-ups, then each row's cells, each ESC [ numbers m and one byte
// that is no control, then the row's newline. The check is the target's own
// and not what is fuzzed: left out of the coverage, whose counting of its
// every comparison took most of each run.
__attribute__((no_sanitize("coverage"))) void check_frame() {
    static char frame[FRAME_MAX];
    const char *p = frame, *end = frame + encode_frame(frame);
    for (int i = 0; i < FRAME_CURSOR_UPS; i++, p += CURSOR_UP_BYTES)
        if (std::memcmp(p, CURSOR_UP, CURSOR_UP_BYTES) != 0)
            std::abort();
    for (int y = 0; y < HEIGHT; y++) {
        for (int x = 0; x < WIDTH; x++) {
            if (end - p < 4 || p[0] != 27 || p[1] != '[')
                std::abort();
            p += 2;
            while (p < end && (std::isdigit(static_cast<unsigned char>(*p)) || *p == ';'))
                p++;
            if (end - p < 2 || *p != 'm' || control(static_cast<unsigned char>(p[1])))
                std::abort();
            p += 2;
        }
        if (p == end || *p++ != '\n')
            std::abort();
    }
    if (p != end)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    if (folder.empty())
        set_up();
    std::vector<std::string> parts(1);
    for (std::size_t i = 0; i < size; i++) {
        if (data[i] == 0xff)
            parts.emplace_back();
        else
            parts.back() += static_cast<char>(data[i]);
    }

    // The card, read whole and into a short buffer, drawn where the show draws cards.
    write_file(card_path(), parts[0]);
    static char card[CARD_SIZE], small[17];
    read_art(card, sizeof card, card_path().c_str());
    read_art(small, sizeof small, card_path().c_str());
    if (card[CARD_SIZE - 1] != 0 || small[sizeof small - 1] != 0)
        std::abort();
    fill(1, 7, 4, ' ');
    mutta(5, 6, 1, 7, 7, card);
    mutta(-7, 20, 1, 1, 1, card);
    mutta(75, -3, 0, 3, 0, small);
    check_frame();

    // The glyphs given, each read into its place in the font as load_font()
    // reads every glyph (the rest of the font, read once, is the real one's),
    // and the text drawn in it.
    std::vector<int> changed;
    for (std::size_t k = 1; k + 1 < parts.size() && k <= 16; k++) {
        const std::string &g = parts[k];
        int j = g.empty() ? 0 : static_cast<unsigned char>(g[0]) % GLYPHS;
        write_file(glyph_file(), g.empty() ? g : g.substr(1));
        read_art(letters[j], sizeof letters[j], glyph_file().c_str());
        changed.push_back(j);
    }
    if (parts.size() > 1) {
        std::string text = parts.back().c_str();  // up to the first NUL, as the show's strings
        puttext(text.c_str(), 0);
        scroll_some(text.c_str());
        check_frame();
    }
    for (int j : changed)
        std::memcpy(letters[j], real_letters[j], sizeof letters[j]);
    return 0;
}
