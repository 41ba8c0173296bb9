// Fuzz target of the module compiler: arbitrary text as a score. A score the
// compiler refuses must be refused with a message; a module it accepts must
// load in libxmp and play. Anything else (a crash, a memory fault, undefined
// behaviour, an accepted module libxmp cannot load) is a fault.
#include <xmp.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "score.h"

namespace {

// The periods of the first wave in a tone's loop, as the synthesis finds them
// (0: the detune cannot be realised, the score is refused).
long first_periods(const instrument &ins) {
    try {
        return loop_periods(ins).first;
    } catch (const score_error &) {
        return 0;
    }
}

// The sample points synthesis makes for the song, at most: a tone's loop is
// made twice when filtered, and an attack adds up to a loop before it; a hit
// is made at 33452 Hz.
double samples_made(const song &piece) {
    double n = 0;
    for (const instrument &ins : piece.instruments) {
        if (ins.hit)
            n += ins.length_ms * 33.452;
        else
            n += static_cast<double>(ins.cycle) * first_periods(ins) *
                 ((ins.lowpass > 0 || ins.highpass > 0 ? 2 : 1) + (ins.attack_ms > 0 ? 1 : 0));
    }
    return n;
}

// Synthesis under the sanitizers and the coverage counters makes about a
// million sample points a second; scores asking for more are passed over, so
// that the one-second limit finds inputs that hang rather than long sounds.
// The compiler's own limit on a module's samples is tested with the compiler.
constexpr double SAMPLE_BUDGET = 1 << 17;

// The one call into the compiler: true with the module's bytes when the score
// is accepted, false when it is refused (or passed over).
bool compile(const std::string &text, std::vector<uint8_t> &module) {
    song piece;
    score_error error;
    if (!parse_score(text, piece, error) || !check_tuning(piece).empty() ||
        samples_made(piece) > SAMPLE_BUDGET)
        return false;
    return write_xm(piece, module, error);
}

// Loads the module in libxmp and renders the first quarter second of it.
void play(const std::vector<uint8_t> &module) {
    xmp_context ctx = xmp_create_context();
    int status = xmp_load_module_from_memory(ctx, module.data(), static_cast<long>(module.size()));
    if (status != 0) {
        std::fprintf(stderr, "libxmp refuses an accepted module (%zu bytes): status %d\n",
                     module.size(), status);
        std::abort();
    }
    if (xmp_start_player(ctx, 44100, 0) == 0) {
        int16_t buffer[4096];
        for (int i = 0; i < 6; i++)
            if (xmp_play_buffer(ctx, buffer, sizeof buffer, 0) != 0)
                break;
        xmp_end_player(ctx);
    }
    xmp_release_module(ctx);
    xmp_free_context(ctx);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    std::vector<uint8_t> module;
    if (compile(text, module))
        play(module);
    return 0;
}
