// The walking figure: card mirroring, and the whole scene run against the
// recording pause with stand-in cards in a temporary working directory.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "art/art.h"
#include "cells.h"
#include "effects/effects.h"
#include "effects/moonwalk.h"
#include "recorder.h"
#include "screen/screen.h"
#include "temp_dir.h"

namespace {

std::string mirrored(const std::string &source) {
    char src[CARD_SIZE] = {}, dst[CARD_SIZE];
    std::memcpy(src, source.data(), source.size());
    std::memset(dst, 'x', sizeof dst);
    mirror_card(dst, src, CARD_SIZE);
    return dst;
}

int drawn_cells(const grid_t &g) {
    return count_cells(g, [](const framebuffer_point &p) { return !(p == BLUE); });
}

constexpr int FRAMES = 36;  // walking frames of one pass
constexpr int FLASH = 6;

// Runs the scene with every pause recorded: two passes of walking frames
// (100 ms) and flashes (350 ms).
const std::vector<pause_record> &run_scene() {
    fill(0, 0, 0, 'x');
    recorder_start();
    moonwalk();
    recorder_stop();
    EXPECT_EQ(recorded().size(), 2u * (FRAMES + FLASH));
    EXPECT_EQ(recorded_total(), 11400000);
    return recorded();
}

}  // namespace

TEST(Moonwalk, MirrorReversesEachLineBehindItsLineFeed) {
    EXPECT_EQ(mirrored("ab\ncd\n"), "\nba\ndc");
    // An unterminated last line is dropped.
    EXPECT_EQ(mirrored("ab\ncd"), "\nba");
    // A line feed in the first byte is not counted: only the empty first line is taken.
    EXPECT_EQ(mirrored("\nab\n"), "\n");
    EXPECT_EQ(mirrored(""), "");
    // Trailing spaces become leading ones.
    EXPECT_EQ(mirrored("a  \n"), "\n  a");

    // A source that fills its buffer without a zero byte is read no further,
    // and the mirror still ends inside its own buffer.
    const char full[4] = {'a', 'b', 'c', '\n'};
    char small[4];
    mirror_card(small, full, sizeof small);
    EXPECT_EQ(std::string(small, 4), std::string("\ncb\0", 4));
}

// Card k is its letter, 15 spaces and a bar: as loaded the letter leads, and
// mirrored the bar does, 16 columns before the letter.
TEST(Moonwalk, WalksThreeLegsTwiceThenFlashesItsCards) {
    temp_dir dir{temp_dir::ENTER};
    for (int k = 1; k <= 12; k++)
        dir.write("grafik/man" + std::to_string(k),
                  std::string(1, char('A' + k - 1)) + std::string(15, ' ') + "|\n");
    dir.write("grafik/wow", "W\n");
    dir.write("grafik/fantastic", "F\n");

    const auto &rec = run_scene();
    ASSERT_EQ(rec.size(), 2u * (FRAMES + FLASH));

    const int flash_colour[FLASH] = {7, 1, 2, 7, 1, 2};
    for (int pass = 0; pass < 2; pass++) {
        const int base = pass * (FRAMES + FLASH);
        for (int i = 0; i < FRAMES; i++) {
            SCOPED_TRACE("pass " + std::to_string(pass + 1) + " frame " + std::to_string(i + 1));
            const pause_record &r = rec[base + i];
            EXPECT_EQ(r.usec, 100000);
            const int leg = i / 12, f = i % 12 + 1;
            const char letter = char('A' + f - 1);
            int letter_x, bar_x;
            if (leg == 1) {  // leftwards, cards as loaded: x = 13 down to 2
                letter_x = 4 * (13 - f + 1) + 1;
                bar_x = letter_x + 16;
            } else {  // rightwards, mirrored: x = 1 up to 12
                bar_x = 4 * f - 12;
                letter_x = bar_x + 16;
            }
            EXPECT_EQ(r.picture[letter_x][1], (framebuffer_point{letter, 1, 7, 4}));
            // The bar of the first two mirrored frames lies left of the screen.
            if (bar_x >= 0) {
                EXPECT_EQ(r.picture[bar_x][1].data, '|');
                EXPECT_EQ(drawn_cells(r.picture), 2);
            } else {
                EXPECT_EQ(drawn_cells(r.picture), 1);
            }
        }
        const char card = pass == 0 ? 'W' : 'F';
        for (int i = 0; i < FLASH; i++) {
            SCOPED_TRACE("pass " + std::to_string(pass + 1) + " flash " + std::to_string(i + 1));
            const pause_record &r = rec[base + FRAMES + i];
            EXPECT_EQ(r.usec, 350000);
            EXPECT_EQ(r.picture[1][4],
                      (framebuffer_point{card, 1, flash_colour[i], flash_colour[i]}));
            // Laid over the last walking frame, nothing else added.
            EXPECT_EQ(r.picture[52][1].data, 'L');
            EXPECT_EQ(r.picture[36][1].data, '|');
            EXPECT_EQ(drawn_cells(r.picture), 3);
        }
    }
    // The scene ends on the fantastic card, green on green.
    EXPECT_EQ(screen[1][4], (framebuffer_point{'F', 1, 2, 2}));
}

// Missing cards draw nothing while the frames and pauses run on; a card longer
// than its buffer is cut so that its text ends inside it, here before its only
// line feed, which leaves nothing to mirror.
TEST(Moonwalk, MissingAndOversizedCards) {
    temp_dir dir{temp_dir::ENTER};
    dir.write("grafik/man1", std::string(CARD_SIZE - 1, 'x') + "\n");

    const auto &rec = run_scene();
    ASSERT_EQ(rec.size(), 2u * (FRAMES + FLASH));
    for (std::size_t i = 0; i < rec.size(); i++) {
        SCOPED_TRACE("pause " + std::to_string(i + 1));
        const bool loaded_card1 = i % (FRAMES + FLASH) == 12;  // first frame of the left leg
        if (!loaded_card1) {
            EXPECT_EQ(drawn_cells(rec[i].picture), 0);
            continue;
        }
        // Card 1 as loaded at column 53: one row of x to the right edge.
        EXPECT_EQ(drawn_cells(rec[i].picture), WIDTH - 53);
        EXPECT_EQ(rec[i].picture[79][1].data, 'x');
        EXPECT_EQ(rec[i].picture[52][1], BLUE);
    }
}
