// Compiling each score of the show, from text to module bytes (parse,
// sample synthesis and layout; no file writing).
#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>

#include "score.h"

namespace {

std::string read_score(const std::string &name) {
    std::ifstream f(std::string(MUSIC_DIR) + "/" + name + ".score");
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

void compile(benchmark::State &state, const std::string &name) {
    const std::string text = read_score(name);
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::vector<uint8_t> module;
        score_error error;
        if (!compile_score(text, module, error)) {
            state.SkipWithError(error.message.c_str());
            break;
        }
        bytes = module.size();
        benchmark::DoNotOptimize(module.data());
    }
    state.counters["module_bytes"] = static_cast<double>(bytes);
}

void BM_CompileVorbel(benchmark::State &state) { compile(state, "vorbel"); }
void BM_CompileKnark(benchmark::State &state) { compile(state, "knark"); }

BENCHMARK(BM_CompileVorbel)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompileKnark)->Unit(benchmark::kMillisecond);

}  // namespace
