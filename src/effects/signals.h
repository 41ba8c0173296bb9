// The signal waves: sine traces of bold '>' drawn step by step from left to
// right, and the card put up below them.
#pragma once

// Horizontal position where a wave starts and the bound it runs up to.
constexpr float SIGNAL_START = 1.0f;
constexpr float SIGNAL_END = 70.0f;
// Pause after every step of a wave, and the card thread's wait before its blit.
constexpr long SIGNAL_FRAME_US = 6500;
constexpr long SIGNAL_CARD_WAIT_US = 6 * 1000000L;
// What the thread twin sleeps after its wave: 100000 seconds.
constexpr long SIGNAL_PARK_US = 100000 * 1000000L;

// The cell a wave of colour parameter `colour` around row `centre` draws at
// position `hm`: column `hm` truncated, row A * sin(0.75 * hm) + centre
// truncated toward zero, with amplitude A = colour % 4 + 1.
struct signal_cell {
    int column;
    int row;
};
signal_cell signal_cell_at(float hm, int colour, int centre);

// The position after `hm`: hm + 0.1 rounded back to single precision.
float signal_advance(float hm);

// Traces one whole wave with the given parameters on `screen`: a bold '>' in
// foreground colour - 1 on background colour at each step, SIGNAL_FRAME_US
// after each. Returns the number of steps drawn (691).
int signal_wave(int colour, int centre);
