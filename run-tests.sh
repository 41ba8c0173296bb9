#!/usr/bin/env bash
# Builds everything and runs every test, then the thread checks under
# ThreadSanitizer, then every test again under AddressSanitizer and
# UndefinedBehaviorSanitizer, then each fuzz target for half a minute.
# Installs the Debian packages it misses.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/packages.sh
ensure_packages $demo_packages $test_packages

# One mis-formatted line fails the run before anything is built.
scripts/check-format.sh

jobs=$(nproc)
# Every build treats a compiler warning as an error.
cmake -S . -B build -DDEMO_TESTS=ON -DDEMO_WERROR=ON >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs" --timeout 600)

# The threads share the grids without locks, and the sound library shares its
# modules with the audio callback; a ThreadSanitizer build of the show's, the
# screen's, the scenes' and the sound library's tests must stay silent.
cmake -S . -B build-tsan -DDEMO_TSAN=ON -DDEMO_WERROR=ON >/dev/null
cmake --build build-tsan -j"$jobs" --target show_tests demo_with_double demo screen_tests sound_tests effects_tests
(cd build-tsan && TSAN_OPTIONS="halt_on_error=1 exitcode=66" \
    ctest --output-on-failure -j"$jobs" --timeout 600 -R '^(show|screen|effects|sound)\.')

# Memory errors, leaks and undefined behaviour: the whole suite again, the
# whole show at tenfold speed among it, built with AddressSanitizer and
# UndefinedBehaviorSanitizer; the first report ends the run.
cmake -S . -B build-asan -DDEMO_ASAN=ON -DDEMO_WERROR=ON -DDEMO_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-asan -j"$jobs"
(cd build-asan && ASAN_OPTIONS="halt_on_error=1" UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
    ctest --output-on-failure -j"$jobs" --timeout 600)

# The readers of the project's own formats (scores, art, the show's stream)
# fuzzed for 30 s each under AddressSanitizer and UndefinedBehaviorSanitizer,
# the inputs that once failed among the first; any report fails the run.
fuzz/run.sh 30
