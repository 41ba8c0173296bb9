#!/usr/bin/env bash
# Plays the whole show once at real speed, silently (SDL_AUDIODRIVER=dummy),
# with its frames going to a file, and prints: the wall time over the sum of the
# show's pauses; the CPU time over the wall time; the CPU of the 119 border
# crawlers against 119 bare threads that sleep 10 ms in a loop, run beside the
# show at the same time (with the crawlers' 500 us timer slack, and with the
# kernel's default); everything else (render, audio, scenes) as a share of one
# core; the frames printed and the writes per frame; the peak memory.
# Takes about three minutes. Other load on the machine shows in the figures:
# the load average is printed before and after.
#
#   bench/show/realtime.sh [build folder, default build]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(cd "${1:-build}" && pwd)
cmake --build "$build" -j"$(nproc)" --target show_meter bare_sleepers stream_frames demo run_grafik >/dev/null

tmp=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$tmp"' EXIT
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"

# The bare threads sleep beside the show for nearly all of its length.
"$build/bench/crawlers/bare_sleepers" 150 500000 >"$tmp/bare_slack" &
"$build/bench/crawlers/bare_sleepers" 150 >"$tmp/bare_default" &
t0=$(date +%s.%N)
(cd "$build/run" && SDL_AUDIODRIVER=dummy "$build/bench/show/show_meter" >"$tmp/frames" 2>"$tmp/meter")
t1=$(date +%s.%N)
wait
echo "load after:  $(cut -d' ' -f1-3 /proc/loadavg)"

frames=$("$build/bench/show/stream_frames" <"$tmp/frames" | sed 's/^frames //')
bare_slack=$(sed 's/.*= \([0-9.]*\)%.*/\1/' "$tmp/bare_slack")
bare_default=$(sed 's/.*= \([0-9.]*\)%.*/\1/' "$tmp/bare_default")

awk -v t0="$t0" -v t1="$t1" -v frames="$frames" -v bare="$bare_slack" -v bare_default="$bare_default" '
    { m[$1] = $2 }
    END {
        wall = t1 - t0
        printf "wall %.2f s over pauses %.2f s: ratio %.4f (target at most 1.007)\n",
            wall, m["pauses_s"], wall / m["pauses_s"]
        printf "CPU %.2f s over wall: %.2f%% of one core\n", m["cpu_s"], 100 * m["cpu_s"] / wall
        crawl = 100 * m["crawler_cpu_s"] * m["crawlers"] / m["crawler_life_s"]
        printf "%d crawlers: %.2f%% of one core; bare threads: %.2f%% (500 us slack), %.2f%% (default slack)\n",
            m["crawlers"], crawl, bare, bare_default
        printf "  crawlers over bare threads with the same slack: %.3f (target at most 1.10)\n", crawl / bare
        rest = m["cpu_s"] - m["crawler_cpu_s"]
        printf "everything else: %.2f%% of one core (target at most 1.5%%): render %.2f%%, audio %.2f%%, scenes and start-up %.2f%%\n",
            100 * rest / wall, 100 * m["render_cpu_s"] / wall, 100 * m["audio_cpu_s"] / wall,
            100 * (rest - m["render_cpu_s"] - m["audio_cpu_s"]) / wall
        printf "frames %d, writes per frame %.3f\n", frames, (m["render_writes"] - 1) / frames
        printf "peak memory %.1f MB\n", m["peak_rss_kb"] / 1024
    }' "$tmp/meter"
