#!/usr/bin/env bash
# Builds the fuzz targets with clang into build-fuzz/ and runs each for
# SECONDS (default 30): fuzz/run.sh [SECONDS] [TARGET...], TARGET one of
# score, art, stream, cast, page, module (default: all, one after the other).
#
# Each run starts from the committed seeds (fuzz/corpus/TARGET), the inputs
# that once failed (fuzz/regress/TARGET) and what earlier runs here found
# (build-fuzz/fuzz/work/TARGET, where new inputs go). It fails on the first
# sanitizer report, crash, input that takes over a second (more on a loaded
# machine, see below), or memory past 2 GB; the input that did it is saved as build-fuzz/fuzz/artifacts/TARGET-*
# (copy it into fuzz/regress/TARGET once the fault is mended). Every run
# prints its executions and coverage (cov: edges, ft: features).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(score art stream cast page module)

build=build-fuzz
if [ -z "${FUZZ_NO_BUILD:-}" ]; then  # set when another run is building or running
    CC=clang CXX=clang++ cmake -S . -B "$build" -DDEMO_FUZZ=ON -DDEMO_TESTS=OFF >/dev/null
    cmake --build "$build" -j"$(nproc)" --target "${targets[@]/%/_fuzz}" >/dev/null
fi

# A second on an idle machine; on a loaded one the time a second of CPU takes.
timeout=$(awk -v n="$(nproc)" '{ t = int($1 / n + 0.999); print t < 1 ? 1 : t }' /proc/loadavg)
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
# A folder for the targets' own files (the art target's), gone however a run ends.
# In memory where the system has a memory file system: the art target writes
# a file for every input, which a disk file system writes back at once.
shm=/dev/shm
[ -d "$shm" ] && [ -w "$shm" ] || shm=${TMPDIR:-/tmp}
scratch=$(mktemp -d "$shm/fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
export TMPDIR=$scratch
status=0
for t in "${targets[@]}"; do
    case $t in
        score) extra=(-dict=fuzz/score.dict -max_len=4096) ;;
        art) extra=(-max_len=8192) ;;
        stream) extra=(-max_len=65536) ;;
        cast) extra=(-max_len=2048) ;;
        page) extra=(-max_len=65536) ;;
        module) extra=(-max_len=65536) ;;
        *) echo "unknown target $t" >&2; exit 2 ;;
    esac
    work=$build/fuzz/work/$t
    log=$build/fuzz/$t.log
    mkdir -p "$work" "$build/fuzz/artifacts" "fuzz/regress/$t"
    bin=$build/fuzz/${t}_fuzz
    if "$bin" "${extra[@]}" -timeout="$timeout" -rss_limit_mb=2048 \
        -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$build/fuzz/artifacts/$t-" \
        "$work" "fuzz/corpus/$t" "fuzz/regress/$t" >"$log" 2>&1; then
        line=$(grep -E 'DONE +cov: ' "$log" | tail -1 || true)
        echo "fuzz $t: ${line:-done}"
        continue
    fi
    unit=$(sed -n 's/.*Test unit written to //p' "$log" | tail -1)
    # The limit is on the wall clock: on a loaded machine a quick input can
    # still overrun it. A timeout counts only when the input alone, run again,
    # still takes that long.
    if grep -q 'libFuzzer: timeout' "$log" && [ -n "$unit" ] &&
        "$bin" -timeout="$timeout" -rss_limit_mb=2048 -runs=3 "$unit" >"$log.again" 2>&1; then
        echo "fuzz $t: a timeout under load ($(cut -d' ' -f1-3 /proc/loadavg)) that $unit alone does not repeat"
        rm -f "$unit"
        continue
    fi
    echo "fuzz $t: FAILED (log: $log)"
    grep -E 'ERROR|SUMMARY|runtime error|Test unit written|ALARM|out-of-memory' "$log" | head -20
    status=1
done
exit $status
