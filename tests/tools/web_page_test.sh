#!/usr/bin/env bash
# The show's web page in a real browser: the recorder records the stand-in
# show with its colour pattern (FAKE_SHOW_COLOURS: 22.5 s, or 12 s with
# --quick) and its stills, tools/web/make_web.sh makes the page (its poster at
# the first still's moment) and must refuse three bad casts, and
# web_page_test.cjs plays the page in Debian's chromium; about 100 s in all,
# 45 with --quick. Exits 77 (skipped) when chromium cannot start.
#   web_page_test.sh [--quick] RECORD CAST_CHECK CAST_COMPACT FAKE_SHOW
set -euo pipefail
quick=()
[ "${1-}" = --quick ] && quick=(--quick) && shift
record=$1 checker=$2 compactor=$3 fake_show=$4
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
if ! command -v chromium >/dev/null; then
    echo "SKIPPED: chromium cannot start: it is not installed"
    exit 77
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
poster="s0@3.65"
moments="s1@1.35,s2@6.05,s3@8.45,s4@11.15,s5@21.05"
frames=750
# Without the 20 s of playback a 12 s show will do.
[ ${#quick[@]} -eq 0 ] || { frames=400 moments=${moments%,s5@*}; }
FAKE_SHOW_COLOURS=$frames "$record" --run-dir "$tmp" --demo "$fake_show" --out "$tmp" \
    --stills "$poster,$moments" >"$tmp/record.log" 2>&1 || { cat "$tmp/record.log"; exit 1; }
# The small video made quickly: its quality is not what is tested here.
MAKE_WEB_QUICK=1 "$root/tools/web/make_web.sh" --cast-check "$checker" --cast-compact "$compactor" \
    --poster "${poster#*@}" "$tmp"
# Casts the page maker must refuse, before it makes anything: one cut short
# (naming the line), one whose frames start a billion seconds in (its header
# saying so too) and one whose second frame comes a billion seconds after the
# first, both far longer than their video.
bad=$tmp/bad
mkdir "$bad"
ln "$tmp/demo.mp4" "$bad/demo.mp4"
refused() {
    if "$root/tools/web/make_web.sh" --cast-check "$checker" --cast-compact "$compactor" "$bad" \
        >/dev/null 2>"$bad/said" ||
        ! grep -q "$1" "$bad/said" || [ -e "$bad/web" ]; then
        echo "FAIL $2 was not refused as it should be: $(cat "$bad/said")"
        exit 1
    fi
    echo "ok   $2 is refused: $(cat "$bad/said")"
}
head -c 9000 "$tmp/demo.cast" >"$bad/demo.cast"
refused "demo.cast: line [0-9]*: cut off" "a cast cut at 9000 bytes"
awk 'NR == 1 { match($0, /"first_frame": [0-9.]+/)
               f = substr($0, RSTART + 15, RLENGTH - 15)
               $0 = substr($0, 1, RSTART + 14) sprintf("%.6f", f + 1e9) substr($0, RSTART + RLENGTH) }
     NR > 4 { k = index($0, ","); $0 = sprintf("[%.6f", substr($0, 2, k - 2) + 1e9) substr($0, k) }
     { print }' "$tmp/demo.cast" >"$bad/demo.cast"
refused "first frame at 1000000000\.[0-9]* s, past the recording's" "a cast of frames a billion seconds in"
awk 'NR > 5 { k = index($0, ","); $0 = sprintf("[%.6f", substr($0, 2, k - 2) + 1e9) substr($0, k) }
     { print }' "$tmp/demo.cast" >"$bad/demo.cast"
refused "ends at 10000000.*far longer than the" "a cast that goes on a billion seconds after its first frame"

node "$here/web_page_test.cjs" "${quick[@]}" "$tmp" "$poster" "$moments"
