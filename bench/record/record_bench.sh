#!/usr/bin/env bash
# Records one whole show at real speed into a temporary folder and prints what
# the recording costs and gives: the recorder's CPU time while the show ran
# against the show's length and its CPU time afterwards (drawing, encoding,
# stills), the video's size and its PSNR against the exact pictures, the
# frames the show printed against the frames in the video (ffprobe), and the
# asciicast's size, plain and gzipped. Arguments go to the recorder.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
start=$(date +%s)
"$root/tools/record/record.sh" --out "$out" --psnr "$@" | tee "$out/summary"
echo "wall time of the whole recording $(($(date +%s) - start)) s"
in_video=$(ffprobe -v error -select_streams v -count_packets -show_entries stream=nb_read_packets \
    -of csv=p=0 "$out/demo.mp4")
printed=$(sed -n 's/^frames printed \([0-9]*\),.*/\1/p' "$out/summary")
echo "frames printed $printed, frames in the video (ffprobe) $in_video"
mb() { awk -v b="$1" 'BEGIN { printf "%.1f MB", b / 1e6 }'; }
echo "demo.mp4 $(mb "$(stat -c %s "$out/demo.mp4")")," \
    "$(ffprobe -v error -select_streams v -show_entries stream=width,height,bit_rate \
        -of csv=p=0 "$out/demo.mp4" | awk -F, '{ printf "%dx%d, %.2f Mbit/s", $1, $2, $3 / 1e6 }')"
echo "demo.cast $(mb "$(stat -c %s "$out/demo.cast")"), gzipped $(mb "$(gzip -c "$out/demo.cast" | wc -c)")"
echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
