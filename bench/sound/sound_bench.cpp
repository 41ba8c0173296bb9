// Cost of mixing one device buffer (1024 frames at 32000 Hz, 32 ms of sound)
// with two modules playing, the way the show has them during its opening.

#include "sound.h"
#include "sound_mix.h"
#include "xm_writer.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int buffer_frames = 1024;

void mix_two_modules(benchmark::State &state)
{
    char tmpl[] = "/tmp/sound_bench.XXXXXX";
    fs::path dir = mkdtemp(tmpl);
    tune a{{}, 3, 125, 100};
    tune b{{}, 6, 140, 100};
    for (int i = 0; i < 64; i++) {
        a.notes.push_back(static_cast<uint8_t>(37 + (i * 5) % 36));
        b.notes.push_back(i % 4 ? 0 : static_cast<uint8_t>(61 + i % 12));
    }
    write_xm(dir / "a.xm", a);
    write_xm(dir / "b.xm", b);
    FMUSIC_MODULE *ma = FMUSIC_LoadSong((dir / "a.xm").c_str());
    FMUSIC_MODULE *mb = FMUSIC_LoadSong((dir / "b.xm").c_str());
    fs::remove_all(dir);
    if (!ma || !mb) {
        state.SkipWithError("test modules did not load");
        return;
    }
    FMUSIC_PlaySong(ma);
    FMUSIC_PlaySong(mb);

    std::vector<int16_t> out(2 * buffer_frames);
    for (auto _ : state) {
        sound_mix(out.data(), buffer_frames);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    FMUSIC_FreeSong(ma);
    FMUSIC_FreeSong(mb);
}
BENCHMARK(mix_two_modules)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

} // namespace

BENCHMARK_MAIN();
