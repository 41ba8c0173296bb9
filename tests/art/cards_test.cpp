// Loading art cards into their buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "art/art.h"
#include "art/card_places.h"
#include "screen/render.h"
#include "screen/screen.h"
#include "stream_format.h"
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

// A card is read to the smaller of its row's buffer and the buffer handed
// over: a short buffer is never written past, and the smile is cut at its own
// 500 bytes whatever it is read into.
TEST(LoadCard, ReadsNoMoreThanTheRowsBufferOrTheOneHandedOver) {
    temp_dir dir{temp_dir::ENTER};
    const std::string card = pattern(6000);
    dir.write("grafik/end", card);
    dir.write("grafik/smile", card);
    struct {
        char card[16];
        char after[16];
    } guarded;
    std::memset(&guarded, 'Q', sizeof guarded);
    load_card(PLACE_END, guarded.card);
    EXPECT_EQ(std::string(guarded.card), card.substr(0, 15));
    EXPECT_EQ(std::string(guarded.after, sizeof guarded.after), std::string(16, 'Q'));
    static char big[CARD_SIZE];
    load_card(PLACE_SMILE, big);
    EXPECT_EQ(std::string(big), card.substr(0, 499));
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

// Only regular files are read. A FIFO without a writer, a folder and a device
// are left unread at once, like a missing file, and each is said once with
// its reason, in the order met.
TEST(ReadArt, AnythingButARegularFileIsRefusedAtOnceAndSaid) {
    temp_dir dir{temp_dir::ENTER};
    ASSERT_EQ(mkfifo("fifo", 0600), 0);
    ASSERT_EQ(mkdir("folder", 0700), 0);
    ASSERT_EQ(symlink("/dev/zero", "zero"), 0);
    dir.write("card", "x\n");
    static char buf[CARD_SIZE];
    for (const char *path : {"fifo", "folder", "zero", "absent", "fifo"}) {
        std::memset(buf, 'Q', sizeof buf);
        EXPECT_FALSE(read_art(buf, sizeof buf, path)) << path;
        EXPECT_EQ(std::string(buf, sizeof buf), std::string(sizeof buf, '\0')) << path;
    }
    EXPECT_TRUE(read_art(buf, sizeof buf, "card"));

    char *text = nullptr;
    std::size_t size = 0;
    FILE *said = open_memstream(&text, &size);
    say_art_problems(said, "demo");
    std::fclose(said);
    const std::string lines(text, size);
    std::free(text);
    const std::string want = "demo: cannot load fifo: not a regular file\n"
                             "demo: cannot load folder: not a regular file\n"
                             "demo: cannot load zero: not a regular file\n"
                             "demo: cannot load absent: No such file or directory\n";
    EXPECT_NE(lines.find(want), std::string::npos) << lines;
    EXPECT_EQ(lines.find("card:"), std::string::npos);
}

// A card of every byte but the newline, shown and printed: the frame holds no
// control byte of the card's, only each cell's escape and each row's newline;
// the card's other bytes are printed as blanks in their cells' colours.
TEST(ShowCard, HostileCardPrintsNoControlByteOfItsOwn) {
    temp_dir dir{temp_dir::ENTER};
    std::string card;
    for (int b = 1; b < 256; b++)
        if (b != '\n')
            card += static_cast<char>(b) + std::string(b % 40 == 0 ? "\n" : "");
    dir.write("grafik/end", card);
    static char buf[CARD_SIZE];
    load_card(PLACE_END, buf);
    print_screen();
    show_card(PLACE_END, buf);

    static char frame[FRAME_MAX];
    const std::size_t n = encode_frame(frame);
    int escapes = 0, newlines = 0, others = 0;
    for (std::size_t i = 0; i < n; i++) {
        const unsigned char c = static_cast<unsigned char>(frame[i]);
        if (c == 27)
            escapes++;
        else if (c == '\n')
            newlines++;
        else if (c < 32 || c == 127 || (c >= 128 && c < 160))
            others++;
    }
    EXPECT_EQ(escapes, FRAME_CURSOR_UPS + WIDTH * HEIGHT);
    EXPECT_EQ(newlines, HEIGHT);
    EXPECT_EQ(others, 0);
}

}  // namespace
