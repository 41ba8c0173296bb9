#!/usr/bin/env bash
# Makes DIR/web/, the show in a web page, from a recording in DIR (demo.cast
# and demo.mp4, as tools/record/record.sh writes them): index.html, the
# compact cast, the music as Ogg Opus cut from the video's sound and moved to
# start with the cast's first frame, the player and the font. The folder works
# from any static file server, e.g. `python3 -m http.server -d DIR/web`.
# A cast with whole frames (the recorder's --cast-full) is made compact with
# cast_compact, by default the one the run command builds. The page folder
# replaces only an earlier page folder, never a file, link or device there,
# through put_in_place, built beside cast_compact.
set -euo pipefail
web=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$web/../.." && pwd)
die() { echo "make_web: $*" >&2; exit 1; }
usage() { echo "usage: tools/web/make_web.sh [--cast-compact PROGRAM] RECORDING_DIR"; }
compactor="$root/build-demo/tools/web/cast_compact"
while [ $# -gt 0 ]; do
    case "$1" in
        --cast-compact) [ $# -ge 2 ] || { { echo "make_web: $1 needs its argument"; usage; } >&2; exit 2; }
            compactor=$2; shift 2 ;;
        -h|--help) usage; exit 0 ;;
        -*) { echo "make_web: unknown option $1"; usage; } >&2; exit 2 ;;
        *) break ;;
    esac
done
[ $# -eq 1 ] || { usage >&2; exit 2; }
rec=$1
for f in demo.cast demo.mp4; do
    [ -s "$rec/$f" ] || die "$rec/$f is missing or empty"
done
out="$rec/web"
placer="$(dirname "$compactor")/../output_guard/put_in_place"
[ -x "$placer" ] || die "$placer is missing (it is built with cast_compact)"
refused=$("$placer" --folder --check "$out" 2>&1) || die "$refused"
font=/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf
[ -f "$font" ] || die "$font is missing (Debian's fonts-dejavu-core)"
"$web/setup.sh"

# The video starts with the first frame, the cast with the show's first byte:
# the sound is delayed by the time of the first frame in the cast, the first
# event that is not the reset, the cursor hiding or the blank reserved lines.
first=$(awk 'NR > 1 && /^\[/ {
    data = $0; sub(/^\[[0-9.]+, "o", "/, "", data); sub(/"\]$/, "", data)
    if (data == "\\u001bc" || data == "\\u001b[?25l" || data ~ /^( |\\r\\n)*$/) next
    sub(/^\[/, ""); sub(/,.*/, ""); print; exit }' "$rec/demo.cast")
[ -n "$first" ] || die "$rec/demo.cast has no frame"
delay_ms=$(awk -v t="$first" 'BEGIN { printf "%d", t * 1000 + 0.5 }')

# Made beside the old folder and put in its place whole; however this ends,
# the half-made folder goes.
tmp=$(mktemp -d "$rec/.web.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
trap 'exit 130' INT; trap 'exit 143' TERM; trap 'exit 129' HUP
mkdir -p "$tmp/player" "$tmp/font"
cp "$web/index.html" "$web/vga.css" "$tmp/"
player="$web/node_modules/asciinema-player"
cp "$player/dist/bundle/asciinema-player.min.js" "$player/dist/bundle/asciinema-player.css" \
   "$player/LICENSE" "$tmp/player/"
cp "$font" "$tmp/font/"
cp /usr/share/doc/fonts-dejavu-core/copyright "$tmp/font/LICENSE"
if grep -q -m1 '^\[[0-9.]*, "o", "\\u001b\[A\\u001b\[A' "$rec/demo.cast"; then
    [ -x "$compactor" ] || die "$rec/demo.cast has whole frames and $compactor is missing"
    "$compactor" "$rec/demo.cast" "$tmp/demo.cast"
else
    cp "$rec/demo.cast" "$tmp/demo.cast"
fi
ffmpeg -nostdin -v error -y -i "$rec/demo.mp4" -vn -af "adelay=${delay_ms}:all=1" \
    -c:a libopus -b:a 96k -ar 48000 -f ogg "$tmp/demo.ogg" || die "ffmpeg could not cut the sound"
chmod 755 "$tmp"
refused=$("$placer" "$tmp" "$out" 2>&1) || die "$refused"
trap - EXIT
echo "make_web: $out (sound delayed by $delay_ms ms)"
