#!/usr/bin/env bash
# Dropouts through a real sound server on a busy machine, each through the
# same private server with a null sink, beside 0, 1, 2 and 3 busy loops at
# their own priority:
#
# - "library alone": the show's sound library playing what the show plays
#   (knark's cards, then vorbel) from the small player show_sound;
# - "whole show, loops' session": the demo binary itself, its picture to
#   /dev/null, started in the same session as the loops, so that the
#   scheduler counts it in their group, stopped after its opening and the
#   seconds of vorbel asked for;
# - "whole show, own session": the same started with setsid, a session and a
#   scheduling group of its own, as in a terminal of its own;
# - "openmpt123": the module player openmpt123 playing vorbel alone.
#
# For each it prints the dropouts (runs of exact silence of 2 ms or more in the music)
# and the silent milliseconds per minute of music, the longest dropout, and
# the CPU the library's audio thread took, what the server held for the
# player (the latency it reports for a pulse client's stream: its buffer and
# the sink's, the median of one reading a second; a client of PipeWire's own
# has none to read), with the machine's load average (one minute) before
# each run: other work makes every figure worse.
#
#     bench/sound/server_bench.sh [BUILD_DIR]
#
# BUILD_DIR (default: build) holds tests/sound/show_sound, sound_gaps and the
# demo with its modules and art in run/. SOUND_BENCH_SERVER=pipewire plays through PipeWire instead
# of PulseAudio (the library through SDL's pipewire driver, openmpt123
# through PipeWire's pulse layer); SOUND_BENCH_SECONDS (default 30) is the
# music a run plays; SOUND_BENCH_LOOPS (default "0 1 2 3") the loads.
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build}" && pwd) || exit 1
show_sound=$build/tests/sound/show_sound sound_gaps=$build/tests/sound/sound_gaps
server_kind=${SOUND_BENCH_SERVER:-pulseaudio}
seconds=${SOUND_BENCH_SECONDS:-30}
for f in "$show_sound" "$sound_gaps" "$build/run/vorbel.xm" "$build/run/demo"; do
    [ -e "$f" ] || {
        echo "server_bench: $f is missing; build the targets show_sound, sound_gaps, demo and music" >&2
        exit 1
    }
done
command -v openmpt123 >/dev/null || {
    echo "server_bench: openmpt123 is not installed" >&2
    exit 1
}

. "$here/../../tests/sound/server/servers.sh"
trap finish EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

case $server_kind in
pulseaudio) start_pulse && driver=pulseaudio ;;
pipewire) start_pipewire && driver=pipewire ;;
*)
    echo "server_bench: SOUND_BENCH_SERVER is pulseaudio or pipewire" >&2
    exit 1
    ;;
esac || {
    echo "server_bench: $server_kind: $server_failure" >&2
    exit 1
}

# Reads the latency the server reports for the playing stream once a second
# into $work/latency.txt (ms), until stopped.
sample_latency() {
    while sleep 1; do
        pactl list sink-inputs 2>/dev/null |
            awk '/Buffer Latency:/ { b = $3 } /Sink Latency:/ { print int((b + $3) / 1000) }'
    done >"$work/latency.txt"
}

# Plays "$@" with the server's latency read meanwhile; `held` is its median.
# PipeWire's pulse layer reports none worth reading.
play_sampled() {
    local sampler
    held=-
    if [ "$server_kind" != pulseaudio ]; then
        run_player "$@"
        return
    fi
    sample_latency &
    started
    sampler=$!
    run_player "$@"
    stop $sampler
    held=$(sort -n "$work/latency.txt" | awk '{ v[NR] = $1 } END { print NR ? v[int((NR + 1) / 2)] : "-" }')
}

# One row of the table from sound_gaps' report of the recording.
row() {
    local loops=$1 player=$2 cpu=$3 load=$4 report music dropouts silent longest
    shift 4
    report=$("$sound_gaps" "$@" "$work/rec.raw" $rate | tail -n 1)
    read -r music dropouts silent longest < <(echo "$report" |
        sed -n 's/^music: \([0-9.]*\) s, dropouts: \([0-9]*\), silent: \([0-9]*\) ms, longest: \([0-9]*\) ms$/\1 \2 \3 \4/p')
    if [ -z "${music:-}" ]; then
        printf '| %d | %s | %s | | | %s | %s | %s |\n' "$loops" "$player" "$report" "$cpu" "$held" "$load"
        return
    fi
    awk -v l="$loops" -v p="$player" -v m="$music" -v d="$dropouts" -v s="$silent" \
        -v g="$longest" -v c="$cpu" -v h="$held" -v a="$load" 'BEGIN {
            printf "| %d | %s | %.1f | %.0f | %d | %s | %s | %s |\n", l, p, d * 60 / m, s * 60 / m, g, c, h, a }'
}

# The show's opening lasts 15 s before vorbel starts.
show_for=$((15 + seconds))
echo "Through $server_kind ($driver driver for the library and the show), $seconds s of music a run"
echo
echo "| busy loops | player | dropouts a minute | silent ms a minute | longest ms | audio thread CPU | server holds ms | load before |"
echo "|---|---|---|---|---|---|---|---|"
for loops in ${SOUND_BENCH_LOOPS:-0 1 2 3}; do
    load=$(cut -d' ' -f1 /proc/loadavg)
    start_load_and_recording "$loops"
    SDL_AUDIODRIVER=$driver play_sampled "$show_sound" "$build/run" "$seconds"
    stop_load_and_recording
    cpu=$(sed -n 's/^audio thread CPU: .*, \(.*\) of a core$/\1/p' "$work/play.txt")
    row "$loops" "library alone" "${cpu:-?}" "$load"

    load=$(cut -d' ' -f1 /proc/loadavg)
    start_load_and_recording "$loops"
    SDL_AUDIODRIVER=$driver play_sampled sh -c 'cd "$1" && exec timeout -s INT "$2" ./demo >/dev/null' \
        sh "$build/run" "$show_for"
    stop_load_and_recording
    row "$loops" "whole show, loops' session" "-" "$load"

    load=$(cut -d' ' -f1 /proc/loadavg)
    start_load_and_recording "$loops"
    SDL_AUDIODRIVER=$driver play_sampled setsid -w sh -c 'cd "$1" && exec timeout -s INT "$2" ./demo >/dev/null' \
        sh "$build/run" "$show_for"
    stop_load_and_recording
    row "$loops" "whole show, own session" "-" "$load"

    load=$(cut -d' ' -f1 /proc/loadavg)
    start_load_and_recording "$loops"
    play_sampled openmpt123 -q --batch --driver pulseaudio --end-time "$seconds" "$build/run/vorbel.xm"
    stop_load_and_recording
    row "$loops" "openmpt123" "-" "$load" --music-only
done
