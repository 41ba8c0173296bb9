// The web page's reading of a cast: what it takes from a whole one, and the
// line it names for every kind of cast it refuses.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cast.h"
#include "cast_check.h"
#include "cells.h"
#include "term.h"

namespace {

const std::string HEADER_KEYS = "\"version\": 2, \"width\": 80, \"height\": 25, \"timestamp\": 7";

std::string event(const std::string &time, const std::string &bytes) {
    return "[" + time + ", \"o\", " + cast_json_string(bytes.data(), bytes.size()) + "]";
}

// A compact cast as the recorder writes it: the three writes before the
// first frame as printed, then two frames as the cells they change.
std::vector<std::string> compact_cast() {
    std::string reserve;
    for (int y = 0; y < 24; y++)
        reserve += std::string(80, ' ') + "\n";
    return {"{" + HEADER_KEYS +
                ", \"first_frame\": 0.300000, \"frames\": \"compact\", \"env\": {\"TERM\": "
                "\"xterm-256color\"}}",
            event("0.000000", "\033c"),
            event("0.000000", "\033[?25l"),
            event("0.000120", reserve),
            event("0.300000", "\033[1;1H\033[1;37;44mA\033[25;1H"),
            event("0.333000", "\033[2;1H\033[31;42mB\033[25;1H"),
            event("1.200000", "")};
}

std::string joined(const std::vector<std::string> &lines) {
    std::string s;
    for (const std::string &l : lines)
        s += l + "\n";
    return s;
}

std::string check(const std::string &text, cast_facts &facts, double poster_at = -1) {
    std::istringstream in(text);
    return check_cast(in, facts, poster_at);
}

TEST(WebCast, TakesTheFactsAndThePosterFromAWholeCast) {
    cast_facts facts;
    ASSERT_EQ(check(joined(compact_cast()), facts, 0.01), "");
    EXPECT_EQ(facts.first_frame, 0.3);
    EXPECT_TRUE(facts.compact);
    EXPECT_EQ(facts.length, 1.2);
    EXPECT_EQ(facts.events, 6);
    // The poster at 0.01 s holds the first frame only; at 0.1 s the second too.
    auto poster = std::make_unique<terminal>();
    cast_replay(*poster, facts.poster);
    EXPECT_EQ(poster->cells[0][0].ch, 'A');
    EXPECT_EQ(ink_of(poster->cells[0][0].look), 15);
    EXPECT_EQ(paper_of(poster->cells[0][0].look), 4);
    EXPECT_EQ(poster->cells[1][0].ch, ' ');
    ASSERT_EQ(check(joined(compact_cast()), facts, 0.1), "");
    *poster = terminal{};
    cast_replay(*poster, facts.poster);
    EXPECT_EQ(poster->cells[1][0].ch, 'B');
    EXPECT_EQ(paper_of(poster->cells[1][0].look), 2);

    // Whole frames as the show prints them; an older header without the
    // recorder's keys, where the form is told by the frames.
    std::vector<std::string> full = compact_cast();
    full[0] = "{" + HEADER_KEYS + "}";
    full[4] = event("0.300000", uniform_frame("\033[0;37;44m "));
    full[5] = event("0.333000", uniform_frame("\033[1;33;41mx"));
    full.pop_back();
    ASSERT_EQ(check(joined(full), facts), "");
    EXPECT_FALSE(facts.compact);
    EXPECT_EQ(facts.first_frame, 0.3);
    EXPECT_EQ(facts.length, 0.333);
}

TEST(WebCast, RefusesACastThatIsCutEditedOrNotTheShowsNamingTheLine) {
    struct edit {
        const char *what;
        std::size_t line;  // index into the cast's lines
        std::string text;  // the line's new text; "-" cuts the cast before it
        const char *said;
    };
    std::string frame = uniform_frame("\033[0;37;44m ");
    const edit edits[] = {
        {"a size other than 80x25", 0, "{\"version\": 2, \"width\": 80, \"height\": 24}",
         "line 1: the header's size is not 80x25"},
        {"asciicast v1", 0, "{\"version\": 1, \"width\": 80, \"height\": 25}",
         "line 1: not an asciicast v2 header"},
        {"a first frame far after the events", 0,
         "{" + HEADER_KEYS + ", \"first_frame\": 1e12, \"frames\": \"compact\"}",
         "line 5: the first frame is not at the header's \"first_frame\""},
        {"an unknown form", 0, "{" + HEADER_KEYS + ", \"frames\": \"tiny\"}",
         "line 1: the header's \"frames\" is neither"},
        {"an infinite time", 5, "[1e999, \"o\", \"\"]",
         "line 6: not an event: a number out of range"},
        {"a time that is not a number", 5, "[inf, \"o\", \"\"]", "line 6: not an event: no number"},
        {"a time going back", 6, event("0.332999", ""), "line 7: its time goes back"},
        {"an input event", 6, "[1.2, \"i\", \"x\"]", "line 7: not an output event"},
        {"a line cut short", 6, "[1.2, \"o\", \"\\u001b[1;", "line 7: not an event: a string not"},
        {"a compact frame cut inside a sequence", 6, event("1.2", "\033[31;4"),
         "line 7: a control sequence cut off or unknown"},
        {"a bell in a compact frame", 6, event("1.2", "\a"), "line 7: a control byte 0x07"},
        {"a frame for the reset", 1, event("0", frame),
         "line 2: not the show's stream: byte 1 (before frame 1): expected the terminal reset"},
        {"two writes in one event", 1, event("0", "\033c\033[?25l"),
         "line 2: not the show's start as printed"},
        {"no frame", 4, "-", "line 4: the cast ends before its first frame"},
        {"an empty file", 0, "-", "line 1: no header"},
    };
    for (const edit &e : edits) {
        std::vector<std::string> lines = compact_cast();
        if (e.text == "-")
            lines.resize(e.line);
        else
            lines[e.line] = e.text;
        cast_facts facts;
        std::string said = check(joined(lines), facts);
        EXPECT_EQ(said.rfind(e.said, 0), 0u) << e.what << ": " << said;
    }

    // Cut anywhere inside its last line, a cast is refused; cut after a
    // line's end it is a shorter cast.
    std::string whole = joined(compact_cast());
    cast_facts facts;
    for (std::size_t cut : {whole.size() - 1, whole.size() - 5, whole.size() - 14})
        EXPECT_EQ(check(whole.substr(0, cut), facts), "line 7: cut off (no end of line)") << cut;

    // A full frame cut short, or two in one event.
    std::vector<std::string> full = compact_cast();
    full[0] = "{" + HEADER_KEYS + ", \"frames\": \"full\"}";
    full[4] = event("0.3", frame);
    full[5] = event("0.4", frame.substr(0, frame.size() - 1));
    full.pop_back();
    EXPECT_EQ(check(joined(full), facts), "line 6: not one whole frame");
    full[5] = event("0.4", frame + frame);
    EXPECT_EQ(check(joined(full), facts), "line 6: not one whole frame");
    full[5] = event("0.4", "\033[A\033[A\033[31m");
    EXPECT_EQ(check(joined(full), facts).rfind("line 6: not the show's stream: byte ", 0), 0u);
}

// The full form of compact_cast()'s cast: the same header saying "full",
// each frame printed whole.
std::vector<std::string> full_cast() {
    std::vector<std::string> full = compact_cast();
    full[0] = "{" + HEADER_KEYS +
              ", \"first_frame\": 0.300000, \"frames\": \"full\", \"env\": {\"TERM\": "
              "\"xterm-256color\"}}";
    full[4] = event("0.300000", uniform_frame("\033[1;37;44mA"));
    full[5] = event("0.333000", uniform_frame("\033[0;31;42mB"));
    full[6] = event("1.200000", uniform_frame("\033[0;31;42mB"));
    return full;
}

std::string compacted(const std::string &text, std::string &out) {
    std::istringstream in(text);
    return ::compact_cast(in, out);
}

TEST(WebCast, ACharacterTheShowDoesNotPrintIsRefusedHoweverItIsSpelled) {
    cast_facts facts;
    // In a frame, é as a raw UTF-8 byte pair or as \u00e9, or any raw byte
    // past ASCII: the terminal model and the page would show them apart.
    for (const std::string &e :
         {std::string("[0.34, \"o\", \"\\u00e9\"]"), std::string("[0.34, \"o\", \"\xc3\xa9\"]"),
          std::string("[0.34, \"o\", \"x\xff\"]")}) {
        std::vector<std::string> lines = compact_cast();
        lines[5] = e;
        const std::string said = check(joined(lines), facts);
        EXPECT_EQ(said.rfind("line 6: a character the show does not print (byte 0x", 0), 0u)
            << e << ": " << said;
    }
    // The header is no frame: a title in either spelling, a pair of
    // surrogates among it, is taken; a lone surrogate or a key twice is not.
    std::vector<std::string> lines = compact_cast();
    lines[0] = "{" + HEADER_KEYS + ", \"title\": \"D\xc3\xa9mo \\u00e9 \\ud83d\\ude00\"}";
    EXPECT_EQ(check(joined(lines), facts), "");
    lines[0] = "{" + HEADER_KEYS + ", \"title\": \"\\ud83d.\"}";
    EXPECT_EQ(
        check(joined(lines), facts).rfind("line 1: the header's \"title\" is wrong: a bad", 0), 0u);
    lines[0] = "{" + HEADER_KEYS + ", \"frames\": \"compact\", \"frames\": \"full\"}";
    EXPECT_EQ(check(joined(lines), facts), "line 1: the header has \"frames\" twice");
}

TEST(WebCast, AFullCastIsMadeCompactThroughTheOneReaderAndWriter) {
    std::string out;
    ASSERT_EQ(compacted(joined(full_cast()), out), "");
    // Every key kept in its place, "frames" now "compact" and the comma after
    // it still there; the times as they were; the frames as what changes.
    EXPECT_EQ(out.substr(0, out.find('\n')),
              "{" + HEADER_KEYS +
                  ", \"first_frame\": 0.300000, \"frames\": \"compact\", \"env\": {\"TERM\": "
                  "\"xterm-256color\"}}");
    cast_facts facts;
    ASSERT_EQ(check(out, facts), "");
    EXPECT_TRUE(facts.compact);
    EXPECT_EQ(facts.events, 6);
    EXPECT_EQ(facts.length, 1.2);
    EXPECT_NE(out.find("[0.333000, \"o\", \"\\u001b[H\\u001b[0;31;42mBBBB"), std::string::npos);
    EXPECT_NE(out.find("\n[1.200000, \"o\", \"\"]\n"), std::string::npos) << out;

    // An older header without the recorder's keys gains them; a time with
    // more digits than six keeps them.
    std::vector<std::string> older = full_cast();
    older[0] = "{" + HEADER_KEYS + "}";
    older[4] = event("0.3000004", uniform_frame("\033[1;37;44mA"));
    ASSERT_EQ(compacted(joined(older), out), "");
    EXPECT_EQ(out.substr(0, out.find('\n')),
              "{" + HEADER_KEYS + ", \"first_frame\": 0.3000004, \"frames\": \"compact\"}");
    ASSERT_EQ(check(out, facts), "");

    // What the reader refuses the compaction refuses, in the same words:
    // a time that is NaN, a string or negative, more after an event, and a
    // cast already compact. Nothing is written.
    const std::pair<std::string, std::string> refused[] = {
        {"[NaN, \"o\", \"\"]", "line 7: not an event: no number at column 2"},
        {"[\"1.2\", \"o\", \"\"]", "line 7: not an event: no number at column 2"},
        {"[-1, \"o\", \"\"]", "line 7: its time is negative"},
        {"[1.2, \"o\", \"\"] []", "line 7: not an event: more after the end at column 16"},
    };
    for (const auto &[line, said] : refused) {
        std::vector<std::string> lines = full_cast();
        lines[6] = line;
        out = "untouched";
        EXPECT_EQ(compacted(joined(lines), out), said) << line;
        EXPECT_EQ(check(joined(lines), facts), said) << line;
        EXPECT_EQ(out, "untouched");
    }
    EXPECT_EQ(compacted(joined(compact_cast()), out), "its frames are compact already");
}

}  // namespace
