// Cost of mixing 32 ms of sound (1024 frames at 32000 Hz, four of the device's
// buffers) with both of the show's modules playing, as during the opening
// cards.

#include "sound.h"
#include "sound_mix.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr int FRAMES = 1024;

void mix_two_modules(benchmark::State &state) {
    FMUSIC_MODULE *main_theme = FMUSIC_LoadSong(MAIN_MODULE);
    FMUSIC_MODULE *blips = FMUSIC_LoadSong(BLIP_MODULE);
    if (!main_theme || !blips) {
        state.SkipWithError("the show's modules did not load");
        return;
    }
    FMUSIC_PlaySong(main_theme);
    FMUSIC_PlaySong(blips);

    std::vector<int16_t> out(2 * FRAMES);
    for (auto _ : state) {
        sound_mix(out.data(), FRAMES);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    FMUSIC_FreeSong(main_theme);
    FMUSIC_FreeSong(blips);
}
// Each repetition plays on through the modules; the median stands for the
// whole of them. The budget is 5% of the 32 ms: 1.6 ms.
BENCHMARK(mix_two_modules)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
