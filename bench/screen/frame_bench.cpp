// Composing and encoding one frame, as the render thread does every 30 ms.
// Run with --benchmark_repetitions=20 --benchmark_report_aggregates_only=true
// to read the median.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "screen/render.h"
#include "screen/screen.h"

namespace {

char frame[FRAME_MAX];

void scatter() {
    srand(7);
    fill(1, 7, 4, ' ');
    for (int i = 0; i < 2000; i++)
        draw(rand() % WIDTH, rand() % HEIGHT, rand() % 2, rand() % 8, rand() % 8,
             static_cast<char>('!' + rand() % 90));
    for (int l = 1; l <= LAYERS; l++) {
        local_fill(layer(l), 1, 1, 1, TRANSPARENT);
        for (int i = 0; i < 300; i++)
            local_draw(layer(l), rand() % WIDTH, rand() % HEIGHT, 1, rand() % 14, rand() % 14, '#');
    }
}

void BM_DirectFrame(benchmark::State &state) {
    scatter();
    print_screen();
    for (auto _ : state) {
        benchmark::DoNotOptimize(encode_frame(frame));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_DirectFrame)->Unit(benchmark::kMicrosecond);

void BM_CompositedFrame(benchmark::State &state) {
    scatter();
    print_layers(LAYERS);
    for (auto _ : state) {
        compose_layers();
        benchmark::DoNotOptimize(encode_frame(frame));
        benchmark::ClobberMemory();
    }
    print_screen();
}
BENCHMARK(BM_CompositedFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
