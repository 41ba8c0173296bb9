#!/usr/bin/env bash
# Records one whole show at real speed into a temporary folder and prints
# whether rendering and encoding keep up: the recorder's CPU time (itself and
# its encoder) over the show's wall time, and the frames the show printed
# (counted in the asciicast) against the frames in the video (ffprobe).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
"$root/tools/record/record.sh" --out "$out" "$@" | tee "$out/summary"
printed=$(grep -c '^\[[0-9.]*, "o", "\\u001b\[A' "$out/demo.cast")
in_video=$(ffprobe -v error -select_streams v -count_packets -show_entries stream=nb_read_packets \
    -of csv=p=0 "$out/demo.mp4")
echo "frames printed (asciicast) $printed, frames in the video (ffprobe) $in_video"
echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
