// Checks the real art under grafik/: every file the show reads is there, fits
// its buffer, holds only drawable bytes, and stays inside the grid wherever the
// show draws it; and the preview, which draws a card as the show prints it.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "art/art.h"
#include "art/card_places.h"
#include "child.h"
#include "screen/screen.h"
#include "stream_format.h"
#include "temp_dir.h"

namespace {

const std::string GRAFIK = std::string(SOURCE_DIR) + "/grafik/";

// Every card the show reads, with the rows of each place it is drawn at.
std::map<std::string, std::vector<card_place>> cards() {
    std::map<std::string, std::vector<card_place>> m;
    for (const card_place &p : CARD_PLACES)
        for (int i = p.from; i <= p.to; i++)
            m[p.from == 0 ? p.stem : p.stem + std::to_string(i)].push_back(p);
    return m;
}

std::vector<std::string> glyph_files() {
    std::vector<std::string> v;
    for (int j = 0; j < GLYPHS; j++)
        v.push_back("letters/" + std::string(1, static_cast<char>(table[j])));
    return v;
}

bool read_file(const std::string &name, std::string &out) {
    std::ifstream in(GRAFIK + name, std::ios::binary);
    if (!in)
        return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

// The lines of a card, without their newlines; a last line without one counts.
std::vector<std::string> lines_of(const std::string &text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) {
            lines.push_back(text.substr(pos));
            break;
        }
        lines.push_back(text.substr(pos, nl - pos));
        pos = nl + 1;
    }
    return lines;
}

// Width of the drawn part: up to the last non-space of the widest line.
std::size_t drawn_width(const std::vector<std::string> &lines) {
    std::size_t w = 0;
    for (const std::string &l : lines) {
        std::size_t last = l.find_last_not_of(' ');
        if (last != std::string::npos && last + 1 > w)
            w = last + 1;
    }
    return w;
}

TEST(Grafik, EveryFileTheShowReadsIsThere) {
    std::string text;
    for (const auto &[name, at] : cards())
        EXPECT_TRUE(read_file(name, text)) << "missing grafik/" << name;
    for (const std::string &name : glyph_files())
        EXPECT_TRUE(read_file(name, text)) << "missing grafik/" << name;
}

TEST(Grafik, CardsFitTheirBuffersAndHoldOnlyDrawableBytes) {
    std::map<std::string, std::size_t> buffers;
    for (const std::string &name : glyph_files())
        buffers[name] = CARD_SIZE;
    for (const auto &[name, at] : cards())
        buffers[name] = at.front().buffer.size;
    for (const auto &[name, buffer] : buffers) {
        std::string text;
        if (!read_file(name, text))
            continue;
        std::size_t limit = buffer - 1;
        EXPECT_LE(text.size(), limit) << "grafik/" << name << " is cut when loaded";
        for (std::size_t i = 0; i < text.size(); i++) {
            unsigned char c = static_cast<unsigned char>(text[i]);
            // Tabs, carriage returns and other control or non-ASCII bytes
            // would each be drawn as one odd cell.
            bool ok = c == '\n' || (c >= 32 && c < 127);
            EXPECT_TRUE(ok) << "grafik/" << name << ": byte " << int(c) << " at offset " << i;
            if (!ok)
                break;
        }
    }
}

TEST(Grafik, CardsStayInsideTheGridWhereverTheyAreDrawn) {
    for (const auto &[name, at] : cards()) {
        std::string text;
        if (!read_file(name, text))
            continue;
        std::vector<std::string> lines = lines_of(text);
        for (const card_place &p : at) {
            // The first drawn cell that falls off the grid, if any.
            int out_x = 0, out_y = 0;
            bool inside = true;
            for (std::size_t row = 0; row < lines.size() && inside; row++)
                for (std::size_t col = 0; col < lines[row].size() && inside; col++) {
                    out_x = p.x + static_cast<int>(col);
                    out_y = p.y + static_cast<int>(row);
                    inside = lines[row][col] == ' ' || on_grid(out_x, out_y);
                }
            EXPECT_TRUE(inside) << "grafik/" << name << " drawn at (" << p.x << ", " << p.y
                                << ") reaches cell (" << out_x << ", " << out_y << ")";
        }
    }
}

TEST(Grafik, GlyphsAreEightLinesOfAtMostEightColumns) {
    for (const std::string &name : glyph_files()) {
        std::string text;
        if (!read_file(name, text))
            continue;
        std::vector<std::string> lines = lines_of(text);
        EXPECT_EQ(lines.size(), 8u) << "grafik/" << name;
        for (const std::string &l : lines)
            EXPECT_LE(l.size(), 8u) << "grafik/" << name << ": line \"" << l << "\"";
    }
}

// The walking figure is drawn from mirrored copies starting left of column 0
// (columns -8 and -4) and as loaded from column 53: at most 23 lines of at most
// 27 columns, every drawn line ending in at least eight spaces (which the
// mirroring turns into leading, transparent ones), every line ended by a
// newline and no empty first line (the mirroring would drop a line).
TEST(Grafik, WalkingCardsSuitMirroring) {
    for (int k = 1; k <= 12; k++) {
        std::string name = "man" + std::to_string(k), text;
        if (!read_file(name, text))
            continue;
        std::vector<std::string> lines = lines_of(text);
        EXPECT_LE(lines.size(), 23u) << "grafik/" << name;
        for (const std::string &l : lines) {
            EXPECT_LE(l.size(), 27u) << "grafik/" << name << ": line \"" << l << "\"";
            if (l.find_first_not_of(' ') == std::string::npos)
                continue;
            std::size_t trailing = l.size() - 1 - l.find_last_not_of(' ');
            EXPECT_GE(trailing, 8u) << "grafik/" << name << ": line \"" << l << "\"";
        }
        EXPECT_TRUE(!text.empty() && text.back() == '\n')
            << "grafik/" << name << " lacks its last newline";
        EXPECT_TRUE(text.empty() || text.front() != '\n')
            << "grafik/" << name << " starts with an empty line";
    }
}

TEST(Grafik, FlashedCardsAreAtMostSixLines) {
    for (const char *name : {"wow", "fantastic", "omg"}) {
        std::string text;
        if (!read_file(name, text))
            continue;
        EXPECT_LE(lines_of(text).size(), 6u) << "grafik/" << name;
        EXPECT_LE(drawn_width(lines_of(text)), 79u) << "grafik/" << name;
    }
}

}  // namespace

// The preview's frame of grafik/intro1 is one the show prints in the opening;
// the preview fails when its output cannot be written.
TEST(Preview, CardFrameIsTheShowsAndAFullOutputFails) {
    temp_dir dir;
    const std::string in_dir =
        "cd " + dir.path().string() + " && cp -r " SOURCE_DIR "/grafik . && ";
    child_result preview = run_child(in_dir + PREVIEW " grafik/intro1");
    ASSERT_EQ(preview.out.size(), RESERVE_BYTES + FRAME_BYTES + 4);  // and the colours reset
    const std::string frame = preview.out.substr(RESERVE_BYTES, FRAME_BYTES);
    child_result show = run_child(in_dir + "SOUND_DOUBLE_SPEEDUP=10 timeout 10 " DEMO_WITH_DOUBLE);
    EXPECT_NE(show.out.find(frame), std::string::npos);

    child_result full = run_child(in_dir + PREVIEW " grafik/intro1 2>&1 >/dev/full");
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.out, "preview: cannot write to standard output: No space left on device\n");
}
