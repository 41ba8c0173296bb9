// Munching squares: a white screen eaten away by blue marks placed with an
// exclusive-or rule, under the smile card.
#include "effects/munching.h"

#include <cstring>

#include "art/art.h"
#include "art/card_places.h"
#include "effects/effects.h"
#include "screen/pause.h"

namespace {

constexpr int MUNCHING_FRAMES = 30;
constexpr long MUNCHING_FRAME_US = 100000;
constexpr long MUNCHING_END_HOLD_US = 800000;

// Rows 1 to 23, columns 1 to 79: marked cells blue, the others white blocks.
void draw_points(const int points[WIDTH][HEIGHT]) {
    for (int y = 1; y < HEIGHT; y++)
        for (int x = 1; x < WIDTH; x++) {
            if (points[x][y])
                draw(x, y, 1, 7, 4, ' ');
            else
                draw(x, y, 1, 7, 7, '#');
        }
}

}  // namespace

void munching_mark(int points[WIDTH][HEIGHT], int count) {
    for (int x = 1; x < WIDTH; x++)
        points[x][((x / 2) ^ count) % HEIGHT] = 1;
}

void munching() {
    char smile[SMILE_BUFFER.size];
    load_card(PLACE_SMILE, smile);

    fill(1, 7, 4, ' ');
    int points[WIDTH][HEIGHT];
    std::memset(points, 0, sizeof points);

    for (int count = 0; count < MUNCHING_FRAMES; count++) {
        munching_mark(points, count);
        draw_points(points);
        show_card(PLACE_SMILE, smile);
        pause_us(MUNCHING_FRAME_US);
    }

    show_card(PLACE_SMILE_HELD, smile);
    pause_us(MUNCHING_END_HOLD_US);
}
