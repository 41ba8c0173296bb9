// Title sequences and `ching`, run against the recording pause with small
// stand-in cards in a temporary working directory.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "art/art.h"
#include "cells.h"
#include "recorder.h"
#include "temp_dir.h"

namespace {

// What one pause of a sequence must show: a screen filled with (attr, fg, bg,
// space) and, unless `card` is null, that two-character card at (x, y) in the
// given colours, with nothing else on the screen.
struct shown {
    long usec;
    int fill_attr, fill_fg, fill_bg;
    const char *card;
    int x, y, attr, fg, bg;
};

void expect_sequence(const std::vector<shown> &want) {
    const auto &got = recorded();
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); i++) {
        SCOPED_TRACE("pause " + std::to_string(i + 1));
        const shown &w = want[i];
        const grid_t &g = got[i].picture;
        EXPECT_EQ(got[i].usec, w.usec);
        const framebuffer_point blank = {' ', w.fill_attr, w.fill_fg, w.fill_bg};
        const int drawn = count_cells(g, [&](const framebuffer_point &p) { return !(p == blank); });
        if (!w.card) {
            EXPECT_EQ(drawn, 0);
            continue;
        }
        EXPECT_EQ(drawn, 2);
        for (int k = 0; k < 2; k++)
            EXPECT_EQ(g[w.x + k][w.y], (framebuffer_point{w.card[k], w.attr, w.fg, w.bg}));
    }
}

// A stand-in card for each file a sequence reads: its name's first letter
// upper-cased, then its number, e.g. "grafik/fire3" holds "F3".
void write_cards(const temp_dir &dir, const std::string &name, int count, char tag) {
    for (int i = 1; i <= count; i++)
        dir.write("grafik/" + name + std::to_string(i),
                  std::string{tag, static_cast<char>('0' + i % 10)} + "\n");
}

constexpr long BEAT_US = 525000;

// A white card on blue, held `beats` beats.
std::vector<shown> white(const char *card, int x, int y, int beats) {
    std::vector<shown> v;
    for (int b = 0; b < beats; b++)
        v.push_back({BEAT_US, 1, 7, 4, card, x, y, 1, 7, 7});
    return v;
}

std::vector<shown> operator+(std::vector<shown> a, const std::vector<shown> &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class Titles : public ::testing::Test {
protected:
    void SetUp() override { fill(0, 0, 0, 'x'); }
    void run(void (*sequence)()) {
        recorder_start();
        sequence();
        recorder_stop();
    }
    temp_dir dir{temp_dir::ENTER};
};

TEST_F(Titles, FireEndsWithTheThirdCardInRed) {
    write_cards(dir, "fire", 3, 'F');
    run(fire_intro);
    expect_sequence(white("F1", 15, 6, 1) + white("F2", 15, 6, 1) + white("F3", 15, 6, 1) +
                    std::vector<shown>{{BEAT_US, 1, 7, 4, "F3", 15, 6, 1, 1, 1}});
}

TEST_F(Titles, VortexShowsItsFifthCardOnlyInRedOnBlack) {
    write_cards(dir, "vortex", 5, 'V');
    run(man_eating_plasma_vortex_from_hell_intro);
    expect_sequence(white("V1", 5, 6, 1) + white("V2", 5, 6, 1) + white("V3", 5, 6, 1) +
                    white("V4", 5, 6, 1) +
                    std::vector<shown>{{BEAT_US, 1, 7, 0, "V5", 5, 6, 1, 1, 1}});
}

TEST_F(Titles, SignalCardsGoToTheGlobalSlots) {
    write_cards(dir, "signal", 13, 'S');
    run(pirate_ninja_robot_zombie_mutant_alien_signals_from_outer_space_intro);
    std::vector<shown> want;
    std::vector<std::string> names;
    for (int i = 1; i <= 11; i++)
        names.push_back(std::string{'S', static_cast<char>('0' + i % 10)});
    for (const std::string &n : names)
        want = want + white(n.c_str(), 15, 6, 1);
    expect_sequence(want);
    // Cards 12 and 13 are loaded but not shown.
    EXPECT_STREQ(kuka[12], "S2\n");
    EXPECT_STREQ(kuka[13], "S3\n");
    EXPECT_STREQ(kuka[11], "S1\n");
}

TEST_F(Titles, OtherSequences) {
    write_cards(dir, "ching_intro", 2, 'C');
    write_cards(dir, "man_intro", 1, 'M');
    write_cards(dir, "fireworks", 3, 'W');
    write_cards(dir, "plasma", 1, 'P');
    run(ching_intro);
    expect_sequence(white("C1", 5, 6, 2) + white("C2", 5, 6, 2));
    run(moonwalk_intro);
    expect_sequence(white("M1", 5, 6, 2));
    run(fireworks_intro);
    expect_sequence(white("W1", 5, 6, 2) + white("W2", 5, 6, 2) + white("W3", 5, 6, 3));
    run(plasma_attack_intro);
    expect_sequence(white("P1", 2, 1, 2));
}

TEST_F(Titles, MissingCardShowsBlueAndKeepsTheTiming) {
    write_cards(dir, "fire", 3, 'F');
    std::filesystem::remove(dir.path() / "grafik/fire2");
    run(fire_intro);
    expect_sequence(
        white("F1", 15, 6, 1) + std::vector<shown>{{BEAT_US, 1, 7, 4, nullptr, 0, 0, 0, 0, 0}} +
        white("F3", 15, 6, 1) + std::vector<shown>{{BEAT_US, 1, 7, 4, "F3", 15, 6, 1, 1, 1}});
}

TEST_F(Titles, ChingFlashesThreeCardsInColourThreeOnBlack) {
    dir.write("grafik/ching1", "A1\n");
    dir.write("grafik/ching2", "B2\n");
    dir.write("grafik/ching3", "C3\n");
    run(ching);
    std::vector<shown> want{{1000000, 0, 3, 0, "A1", 1, 1, 1, 3, 0}};
    for (int k = 0; k < 3; k++) {
        want.push_back({500000, 0, 3, 0, "B2", 1, 1, 0, 3, 0});
        want.push_back({500000, 0, 3, 0, "C3", 1, 1, 1, 3, 0});
    }
    expect_sequence(want);
    EXPECT_EQ(recorded_total(), 4000000);
    EXPECT_STREQ(buf3, "A1\n");
    EXPECT_STREQ(buf5, "C3\n");
}

}  // namespace
