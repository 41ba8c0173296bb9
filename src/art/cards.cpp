// Card buffers, the one reader of art files, the cards of the table and the
// glyph font.
#include <algorithm>

#include "art/art.h"
#include "art/card_places.h"
#include "screen/screen.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

char buf1[CARD_SIZE], buf2[CARD_SIZE], buf3[CARD_SIZE], buf4[CARD_SIZE], buf5[CARD_SIZE],
    buf6[CARD_SIZE], buf7[CARD_SIZE];
char kuka[20][CARD_SIZE];
char letters[GLYPHS + 1][CARD_SIZE];

// clang-format off
int table[GLYPHS + 1] = {
    '-', ',', ':', '!',
    '0', '1', '2', '3', '4', '5', '6', '7', '8', '9',
    'a', 'A', 'b', 'B', 'c', 'C', 'd', 'D', 'e', 'E', 'f', 'F', 'g', 'G',
    'h', 'H', 'i', 'I', 'j', 'J', 'k', 'K', 'l', 'L', 'm', 'M', 'n', 'N',
    'o', 'O', 'p', 'P', 'q', 'Q', 'r', 'R', 's', 'S', 't', 'T', 'u', 'U',
    'v', 'V', 'w', 'W', 'x', 'X', 'y', 'Y', 'z', 'Z',
    0,
};
// clang-format on

namespace {

// Art files that could not be read, each once. Cards are loaded from more than
// one thread, so the list is kept under a lock.
struct art_problem {
    char path[96];
    int error;  // an errno value, or 0: not a regular file
};
constexpr int PROBLEMS_KEPT = 256;  // more than the show has files
art_problem problems[PROBLEMS_KEPT];
int problem_count, problems_dropped;
std::mutex problems_lock;

void note_problem(const char *path, int error) {
    std::lock_guard<std::mutex> hold(problems_lock);
    for (int i = 0; i < problem_count; i++)
        if (std::strncmp(problems[i].path, path, sizeof problems[i].path - 1) == 0)
            return;
    if (problem_count == PROBLEMS_KEPT) {
        problems_dropped++;
        return;
    }
    art_problem &p = problems[problem_count++];
    std::snprintf(p.path, sizeof p.path, "%s", path);
    p.error = error;
}

// Opens `path` for reading if it is a regular file; -1 (with the reason
// noted) otherwise. The open itself does not wait: on a FIFO without a writer
// it would block for good.
int open_regular(const char *path) {
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        note_problem(path, errno);
        return -1;
    }
    struct stat st;
    int err = fstat(fd, &st) == 0 ? 0 : errno;
    if (err == 0 && S_ISREG(st.st_mode))
        return fd;
    note_problem(path, err);
    close(fd);
    return -1;
}

}  // namespace

bool read_art(char *buf, std::size_t size, const char *path) {
    if (size == 0)
        return false;
    std::memset(buf, 0, size);
    // The descriptor belongs to this call alone: cards are also loaded from
    // other threads than the main one.
    int fd = open_regular(path);
    if (fd < 0)
        return false;
    // The last byte is never read into, so the text ends inside the buffer.
    std::size_t want = size - 1, got = 0;
    bool failed = false;
    while (got < want) {
        ssize_t n = read(fd, buf + got, want - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            note_problem(path, errno);
            failed = true;
        }
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    close(fd);
    return !failed;
}

int say_art_problems(std::FILE *to, const char *program) {
    std::lock_guard<std::mutex> hold(problems_lock);
    for (int i = 0; i < problem_count; i++)
        std::fprintf(to, "%s: cannot load %s: %s\n", program, problems[i].path,
                     problems[i].error ? std::strerror(problems[i].error) : "not a regular file");
    if (problems_dropped)
        std::fprintf(to, "%s: cannot load %d more art files\n", program, problems_dropped);
    return problem_count + (problems_dropped > 0);
}

void card_path(const card_place &p, int number, char *path, std::size_t size) {
    if (number == 0)
        std::snprintf(path, size, "grafik/%s", p.stem);
    else
        std::snprintf(path, size, "grafik/%s%d", p.stem, number);
}

void load_card(card_place_name n, int number, std::span<char> card) {
    char path[64];
    card_path(place(n), number, path, sizeof path);
    read_art(card.data(), std::min(card.size(), place(n).buffer.size), path);
}

void show_card(const card_place &p, const char *card) {
    if (p.ground.filled)
        fill(p.ground.attr, p.ground.fg, p.ground.bg, ' ');
    mutta(p.x, p.y, p.attr, p.fg, p.bg, card);
}

int glyph_index(char c) {
    int code = static_cast<signed char>(c);
    // The terminating 0 of the table is no character.
    for (int j = 0; j < GLYPHS; j++)
        if (table[j] == code)
            return j;
    return -1;
}

const char *glyph(char c) {
    int j = glyph_index(c);
    return j < 0 ? nullptr : letters[j];
}

void load_font() {
    char path[32];
    for (int j = 0; j < GLYPHS; j++) {
        std::snprintf(path, sizeof path, "grafik/letters/%c", table[j]);
        read_art(letters[j], sizeof letters[j], path);
    }
}
