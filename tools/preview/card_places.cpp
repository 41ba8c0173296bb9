#include "card_places.h"

#include "art/art.h"

namespace {

const int SMILE_SIZE = 500;

const card_place PLACES[] = {
    {"intro", 1, 1, 1, 7, 1, 7, 7, 1, 7, 4, CARD_SIZE},
    {"intro", 2, 6, 9, 3, 1, 7, 7, 1, 7, 4, CARD_SIZE},
    {"intro", 7, 7, 4, 3, 1, 7, 7, 1, 7, 4, CARD_SIZE},
    {"ching_intro", 1, 2, 5, 6, 1, 7, 7, 1, 7, 4, CARD_SIZE},
    {"ching", 1, 1, 1, 1, 1, 3, 0, 0, 3, 0, CARD_SIZE},
    {"ching", 2, 2, 1, 1, 0, 3, 0, 0, 3, 0, CARD_SIZE},
    {"ching", 3, 3, 1, 1, 1, 3, 0, 0, 3, 0, CARD_SIZE},
    {"signal", 1, 11, 15, 6, 1, 7, 7, 1, 7, 4, CARD_SIZE},
    {"signal", 12, 12, 9, 1, 1, 1, 0, 1, 7, 0, CARD_SIZE},
    {"signal", 11, 11, 9, 1, 1, 7, 0, 1, 7, 0, CARD_SIZE},
    // Loaded with the signal cards and never drawn; shown where they are.
    {"signal", 13, 13, 15, 6, 1, 7, 7, 1, 7, 4, CARD_SIZE},
    {"omg", 0, 0, 1, 18, 1, 7, 7, 1, 7, 4, CARD_SIZE},
    {"vortex", 1, 4, 5, 6, 1, 7, 7, 1, 7, 4, CARD_SIZE},
    {"vortex", 5, 5, 5, 6, 1, 1, 1, 1, 7, 0, CARD_SIZE},
    {"lol", 0, 0, 29, 9, 1, 2, 2, 1, 7, 4, CARD_SIZE},
    {"man_intro", 1, 1, 5, 6, 1, 7, 7, 1, 7, 4, CARD_SIZE},
    // As loaded, walking leftwards from column 53 to 9 at row 1; the mirrored
    // copies start left of column 0.
    {"man", 1, 12, 9, 1, 1, 7, 4, 1, 7, 4, CARD_SIZE},
    {"man", 1, 12, 53, 1, 1, 7, 4, 1, 7, 4, CARD_SIZE},
    {"wow", 0, 0, 1, 4, 1, 7, 7, 1, 7, 4, CARD_SIZE},
    {"fantastic", 0, 0, 1, 4, 1, 7, 7, 1, 7, 4, CARD_SIZE},
    {"fire", 1, 3, 15, 6, 1, 7, 7, 1, 7, 4, CARD_SIZE},
    {"fireworks", 1, 3, 5, 6, 1, 7, 7, 1, 7, 4, CARD_SIZE},
    {"plasma", 1, 1, 2, 1, 1, 7, 7, 1, 7, 4, CARD_SIZE},
    {"smile", 0, 0, 31, 8, 1, 7, 7, 1, 7, 4, SMILE_SIZE},
    {"end", 0, 0, 20, 5, 1, 7, 7, 1, 7, 4, CARD_SIZE},
};

}  // namespace

const std::span<const card_place> CARD_PLACES(PLACES);
