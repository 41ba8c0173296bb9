// The blip module (knark.xm, compiled from music/knark.score) as the opening
// times its cards to it. At 120 BPM and speed 3 a row lasts 62.5 ms; each
// stab is eight rows, half a second, and its chord sounds from the stab's
// second row. The module tests check these against the module itself.
#pragma once

constexpr int KNARK_BPM = 120;
constexpr int KNARK_SPEED = 3;
// A row lasts 2.5 s times the speed over the BPM.
constexpr long KNARK_ROW_US = 2500000L * KNARK_SPEED / KNARK_BPM;
constexpr int KNARK_STAB_ROWS = 8;
// The row of its stab at which a chord sounds.
constexpr int KNARK_CHORD_ROW = 1;
constexpr long KNARK_STAB_US = KNARK_STAB_ROWS * KNARK_ROW_US;
constexpr long KNARK_CHORD_US = KNARK_CHORD_ROW * KNARK_ROW_US;
