// The music report's figures on a small module the test compiles: a tone in
// tune, then slid 2.5 semitones up, off its note; a hit at 100 Hz.
#include <gtest/gtest.h>

#include "module_probe.h"

namespace {

const char *SCORE = R"(
channels 2
instrument 01 tone "sine"
  wave sine
instrument 02 hit "thump"
  wave sine
  freq 100
  length 400
pattern p 16
  00 C-4 01 | C-4 02
  08 ... .. .. 108
order p
)";

TEST(MusicReport, FiguresOfASmallModule) {
    temp_dir dir;
    const std::string module = probe::compile(dir, "small", SCORE);
    ASSERT_FALSE(module.empty());
    const child_result r = probe::run(std::string(MUSIC_REPORT) + " " + probe::quote(module));
    ASSERT_EQ(r.status, 0) << r.out;
    // 125 BPM at speed 6: 20 ms a tick, eight rows 0.96 s. The slide moves
    // half a semitone on each of the row's five later ticks and stays there.
    for (const char *line : {
             "duration  1.92 s",
             "pitch     channel 0: 0.9 s of 1.9 s pitched more than 40 cents off",
             "at   0.98 s for 0.94 s: C-4 +250 cents at most, +250 at the end",
             "hit 02 thump              <60 0.1%  60-150 99.",
         })
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
}

}  // namespace
