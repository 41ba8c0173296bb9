// The opening against the recording sound double and the recording pause.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "art/art.h"
#include "recorder.h"
#include "show/show.h"
#include "sound_double.h"
#include "temp_dir.h"

using std::string;

namespace {

struct sound_event {
    string call;
    size_t pauses_before;  // pauses recorded when the call was made
    long time_before;      // their sum in microseconds
};

}  // namespace

TEST(Opening, TimingBlipsCardsAndMainModule) {
    temp_dir dir{temp_dir::ENTER};
    for (int i = 1; i <= 5; i++)
        dir.write("grafik/intro" + std::to_string(i), string(i, 'c') + "\n");
    dir.write("grafik/intro6", "AAAA\nAAAA\n");
    dir.write("grafik/intro7", "      X X\n");

    sound_double_reset();
    string out;
    ::testing::internal::CaptureStdout();
    ASSERT_EQ(start_sound(), 0);
    ::testing::internal::GetCapturedStdout();
    sound_double.calls.clear();

    std::vector<sound_event> events;
    sound_double.observer = [&](const string &call) {
        events.push_back({call, recorded().size(), recorded_total()});
    };
    fill(1, 7, 4, ' ');
    recorder_start();
    opening();
    recorder_stop();
    // The first scene begins where the timeline says, after the opening.
    EXPECT_EQ(recorded_total(), timeline[SCENE_CHING].start_us);
    sound_double.observer = nullptr;

    // Five half-second blips of the second module, each stopped again, then the
    // main module once. Each blip starts 85 ms before its card, which shows
    // for the half second from 3.0 s after the first card (at 6.8 s).
    ASSERT_EQ(events.size(), 11u);
    for (int i = 0; i < 5; i++) {
        EXPECT_EQ(events[2 * i].call, "PlaySong knark.xm");
        EXPECT_EQ(events[2 * i + 1].call, "StopSong knark.xm");
        EXPECT_EQ(events[2 * i].time_before, 9715000 + 500000 * i);
        EXPECT_EQ(events[2 * i + 1].time_before - events[2 * i].time_before, 500000);
        const pause_record &card = recorded()[events[2 * i].pauses_before + 1];
        EXPECT_EQ(card.usec, 415000);
        if (i < 4) {  // cards 2 to 5: as many c as the card's number
            EXPECT_EQ(card.picture[10 + i][3].data, 'c') << "card " << i + 2;
            EXPECT_EQ(card.picture[11 + i][3].data, ' ') << "card " << i + 2;
        } else {
            EXPECT_EQ(card.picture[9][3].data, 'A') << "card 6";
        }
    }
    EXPECT_EQ(events[10].call, "PlaySong vorbel.xm");

    // 14.8 s until the main module, 5.95 s more for the 119 crawler starts.
    EXPECT_EQ(events[10].time_before, 14800000);
    EXPECT_EQ(recorded_total() - events[10].time_before, 5950000);
    EXPECT_EQ(recorded().size() - events[10].pauses_before, 119u);

    // Card 7 over card 6: the pause before the main module shows both.
    const pause_record &last_card = recorded()[events[10].pauses_before - 1];
    EXPECT_EQ(last_card.usec, 2500000);
    EXPECT_EQ(last_card.picture[9][3].data, 'A');
    EXPECT_EQ(last_card.picture[10][3].data, 'X');
    EXPECT_EQ(last_card.picture[11][3].data, 'A');
    EXPECT_EQ(last_card.picture[12][3].data, 'X');
    EXPECT_EQ(last_card.picture[9][4].data, 'A');
    EXPECT_EQ(last_card.picture[10][3].fg, 7);
    EXPECT_EQ(last_card.picture[10][3].bg, 7);
    EXPECT_EQ(last_card.picture[30][10].bg, 4);

    // Card 1 at (1, 7) for 2.5 s on a blank blue screen.
    bool card1_seen = false;
    for (const pause_record &r : recorded())
        if (r.usec == 2500000 && r.picture[1][7].data == 'c' && r.picture[2][7].bg == 4) {
            card1_seen = true;
            break;
        }
    EXPECT_TRUE(card1_seen);
}
