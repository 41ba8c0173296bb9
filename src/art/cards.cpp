// Card buffers, the one card loader and the glyph font.
#include "art/art.h"
#include "art/card_places.h"
#include "screen/screen.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
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

void load_card(char *buf, std::size_t size, const char *path) {
    if (size == 0)
        return;
    std::memset(buf, 0, size);
    // The descriptor belongs to this call alone: cards are also loaded from
    // other threads than the main one.
    int fd = open(path, O_RDONLY);
    if (fd < 0)
        return;
    // The last byte is never read into, so the text ends inside the buffer.
    std::size_t want = size - 1, got = 0;
    while (got < want) {
        ssize_t n = read(fd, buf + got, want - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    close(fd);
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
        load_card(letters[j], sizeof letters[j], path);
    }
}

void draw_card(const card_place &p, const char *card) { mutta(p.x, p.y, p.attr, p.fg, p.bg, card); }
