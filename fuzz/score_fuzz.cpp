// Fuzz target of the module compiler: arbitrary text as a score. A score the
// compiler refuses must be refused with a message; a module it accepts must
// load in libxmp and play. Anything else (a crash, a memory fault, undefined
// behaviour, an accepted module libxmp cannot load) is a fault.
#include <xmp.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "score.h"

namespace {

// The one call into the compiler: true with the module's bytes when the score
// is accepted, false when it is refused.
bool compile(const std::string &text, std::vector<uint8_t> &module) {
    try {
        module = compile_score(text);
        return true;
    } catch (const score_error &) {
        return false;
    }
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
