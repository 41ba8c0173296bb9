// The tools' command lines in one style: --help prints how to call the tool
// on standard output with status 0; an unknown option, or one without its argument, is
// named on standard error after the tool's name, with status 2.
#include <gtest/gtest.h>

#include "module_probe.h"

namespace {

TEST(ToolOptions, HelpAndBadOptionsAlike) {
    const struct {
        std::string tool, path, needs_argument;
    } TOOLS[] = {
        {"xmc", XMC_BINARY, ""},
        {"music_report", MUSIC_REPORT, "--wav"},
        {"cast_compact", CAST_COMPACT, ""},
        {"cast_check", CAST_CHECK, "--poster"},
        {"put_in_place", PUT_IN_PLACE, ""},
        {"record", RECORD_BINARY, "--out"},
        {"preview", PREVIEW_BINARY, "--word"},
        {"make_web", MAKE_WEB, "--cast-compact"},
        {"terminal_check", TERMINAL_CHECK, "--out"},
        {"terminals.sh", TERMINALS, "--out"},
        {"timeline", TIMELINE, "--at"},
    };
    for (const auto &t : TOOLS) {
        child_result r = run_child(t.path + " --help 2>/dev/null");
        EXPECT_EQ(r.status, 0) << t.tool;
        EXPECT_NE(r.out.find(t.tool), std::string::npos) << t.tool << ": " << r.out;
        r = run_child(t.path + " --bogus 2>&1 >/dev/null");
        EXPECT_EQ(r.status, 2) << t.tool;
        EXPECT_EQ(r.out.rfind(t.tool + ": unknown option --bogus", 0), 0u) << r.out;
        // In a cluster of short options the first unknown one is named, not a word near it.
        r = run_child(t.path + " -xy a b 2>&1 >/dev/null");
        EXPECT_EQ(r.status, 2) << t.tool;
        EXPECT_EQ(r.out.rfind(t.tool + ": unknown option -x", 0), 0u) << r.out;
        if (t.needs_argument.empty())
            continue;
        r = run_child(t.path + " " + t.needs_argument + " 2>&1 >/dev/null");
        EXPECT_EQ(r.status, 2) << t.tool;
        EXPECT_EQ(r.out.rfind(t.tool + ": " + t.needs_argument + " needs its argument", 0), 0u)
            << r.out;
    }
}

// A number out of its range, or no number at all, and an empty path are
// named with the option and what it takes, in one wording, with status 2,
// before any work is done.
TEST(ToolOptions, ValuesAreCheckedAlike) {
    const struct {
        std::string command, message;
    } CASES[] = {
        {MUSIC_REPORT " --top 1e300 x.xm", "music_report: --top takes a number from 50 to 22050, "
                                           "not '1e300'"},
        {TERMINAL_CHECK " --hold nan", "terminal_check: --hold takes a number from 0 to 60, not "
                                       "'nan'"},
        {TERMINAL_CHECK " --at 3,-1", "terminal_check: --at takes a number from 0 to 3600, not "
                                      "'-1'"},
        {RECORD_BINARY " --crf 1.5", "record: --crf takes a whole number from 0 to 51, not '1.5'"},
        {PREVIEW_BINARY " --colours 99999 -1 300 x", "preview: --colours takes a whole number "
                                                     "from 0 to 1, not '99999'"},
        {PREVIEW_BINARY " x --colours 1 8 0", "preview: --colours takes a whole number from 0 to "
                                              "7, not '8'"},
        {CAST_CHECK " --poster nan x", "cast_check: --poster takes a number from 0 to 999999, "
                                       "not 'nan'"},
        {MAKE_WEB " --poster nan x", "make_web: --poster takes a number from 0 to 999999, not "
                                     "'nan'"},
        {MUSIC_REPORT " --wav '' x.xm", "music_report: --wav needs its argument, not an empty "
                                        "word"},
        {RECORD_SCRIPT " --out=", "record.sh: --out needs its argument, not an empty word"},
        {XMC_BINARY " \"$(printf -- '--\\033[2J')\"", "xmc: unknown option --\\x1b[2J (xmc --help "
                                                      "lists them)"},
    };
    for (const auto &c : CASES) {
        const child_result r = run_child(c.command + " 2>&1 >/dev/null");
        EXPECT_EQ(r.status, 2) << c.command;
        EXPECT_EQ(r.out.rfind(c.message + "\n", 0), 0u) << r.out;
    }
}

}  // namespace
