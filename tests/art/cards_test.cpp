// Loading art cards into their buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "art/art.h"
#include "screen/screen.h"
#include "temp_dir.h"

namespace {

std::string pattern(std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; i++)
        s += (i % 61 == 60) ? '\n' : static_cast<char>('!' + i % 90);
    return s;
}

TEST(ReadArt, MissingOrEmptyFileLeavesTheBufferZeroed) {
    temp_dir dir{temp_dir::ENTER};
    dir.write("empty", "");
    static char buf[CARD_SIZE];
    for (const char *path : {"missing", "empty", "no/such/dir/card"}) {
        std::memset(buf, 'Q', sizeof buf);
        read_art(buf, sizeof buf, path);
        EXPECT_EQ(std::string(buf, sizeof buf), std::string(sizeof buf, '\0')) << path;
    }
}

TEST(ReadArt, CardOfTheLargestSizeIsReadWholeAndEndsInTheBuffer) {
    temp_dir dir{temp_dir::ENTER};
    const std::string card = pattern(CARD_SIZE - 1);
    dir.write("big", card);
    static char buf[CARD_SIZE];
    std::memset(buf, 'Q', sizeof buf);
    read_art(buf, sizeof buf, "big");
    EXPECT_EQ(std::string(buf, CARD_SIZE - 1), card);
    EXPECT_EQ(buf[CARD_SIZE - 1], '\0');
}

TEST(ReadArt, LongerFileIsCutAndStillTerminated) {
    temp_dir dir{temp_dir::ENTER};
    const std::string card = pattern(6000);
    dir.write("huge", card);
    static char buf[CARD_SIZE];
    std::memset(buf, 'Q', sizeof buf);
    read_art(buf, sizeof buf, "huge");
    EXPECT_EQ(std::string(buf, CARD_SIZE - 1), card.substr(0, CARD_SIZE - 1));
    EXPECT_EQ(buf[CARD_SIZE - 1], '\0');

    // The same for the small 500-byte buffer of the smile card.
    char small[500];
    std::memset(small, 'Q', sizeof small);
    read_art(small, sizeof small, "huge");
    EXPECT_EQ(std::string(small, 499), card.substr(0, 499));
    EXPECT_EQ(small[499], '\0');

    // Blitting the cut card stops at the end of the buffer: its last line
    // is drawn and nothing after it.
    fill(0, 0, 0, ' ');
    mutta(0, 0, 1, 7, 7, small);
    int lines = 499 / 61;  // full lines before the cut
    int last = 499 - lines * 61;
    EXPECT_EQ(screen[last - 1][lines].data, card[498]);
    EXPECT_EQ(screen[last][lines].data, ' ');
}

TEST(ReadArt, ReusedBufferKeepsNothingOfTheLongerCard) {
    temp_dir dir{temp_dir::ENTER};
    dir.write("long", pattern(3000));
    dir.write("short", "ab\ncd\n");
    static char buf[CARD_SIZE];
    read_art(buf, sizeof buf, "long");
    read_art(buf, sizeof buf, "short");
    EXPECT_EQ(std::string(buf, sizeof buf),
              std::string("ab\ncd\n") + std::string(sizeof buf - 6, '\0'));
}

TEST(ReadArt, ClosesEveryFileItOpens) {
    temp_dir dir{temp_dir::ENTER};
    dir.write("card", "x\n");
    int before = open("card", O_RDONLY);
    ASSERT_GE(before, 0);
    close(before);
    static char buf[CARD_SIZE];
    for (int i = 0; i < 2000; i++)
        read_art(buf, sizeof buf, "card");
    int after = open("card", O_RDONLY);
    EXPECT_EQ(after, before);
    close(after);
}

}  // namespace
