// Parameters the show hands to the scene instances it starts.
#include "effects/effects.h"

std::atomic<int> ninja{0};
std::atomic<int> pirate{0};
std::atomic<int> id{0};
std::atomic<float> wormx{0.0f};
std::atomic<float> wormy{0.0f};
