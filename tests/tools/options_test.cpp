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
        if (t.needs_argument.empty())
            continue;
        r = run_child(t.path + " " + t.needs_argument + " 2>&1 >/dev/null");
        EXPECT_EQ(r.status, 2) << t.tool;
        EXPECT_EQ(r.out.rfind(t.tool + ": " + t.needs_argument + " needs its argument", 0), 0u)
            << r.out;
    }
}

}  // namespace
