#!/usr/bin/env bash
# The show's web page in a real browser: the recorder records the stand-in
# show with its colour pattern (FAKE_SHOW_COLOURS: 22.5 s, or 12 s with
# --quick) and its stills, tools/web/make_web.sh makes the page (its poster at
# the first still's moment) and must refuse three bad casts, make a short
# full-cast recording's page compact and fail on a broken compaction, and
# web_page_test.cjs plays the page in Debian's chromium; about 110 s in all,
# 55 with --quick. Exits 77 (skipped) when chromium cannot start.
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

# A recording with whole frames (--cast-full, 40 frames) is made compact on
# the way: the page's cast is then one cast_check takes as compact; and a
# compaction that writes a broken cast, though it exits 0, fails the page
# maker with nothing made.
full=$tmp/full
mkdir "$full"
FAKE_SHOW_COLOURS=40 "$record" --cast-full --run-dir "$full" --demo "$fake_show" --out "$full" \
    >"$full/record.log" 2>&1 || { cat "$full/record.log"; exit 1; }
MAKE_WEB_QUICK=1 "$root/tools/web/make_web.sh" --cast-check "$checker" --cast-compact "$compactor" "$full" >/dev/null
gzip -dc "$full/web/demo.cast.gz" >"$full/page.cast"
grep -qx "frames compact" <("$checker" "$full/page.cast") ||
    { echo "FAIL the page of a full cast does not hold a compact cast"; exit 1; }
echo "ok   a full cast is made compact for the page"
rm -r "$full/web"
# (put_in_place is found beside the compaction)
mkdir "$full/web_tools"
ln -s "$(dirname "$compactor")/../output_guard" "$full/output_guard"
cat >"$full/web_tools/cast_compact" <<'EOF'
#!/bin/sh
echo '{"version": 2 "width": 80, "height": 25}' >"$2"
EOF
chmod +x "$full/web_tools/cast_compact"
if "$root/tools/web/make_web.sh" --cast-check "$checker" --cast-compact \
    "$full/web_tools/cast_compact" "$full" >/dev/null 2>"$full/said" ||
    ! grep -q "is refused: line 1: " "$full/said" || [ -e "$full/web" ]; then
    echo "FAIL a broken compaction was not refused: $(cat "$full/said")"
    exit 1
fi
echo "ok   a broken compaction is refused: $(cat "$full/said")"

# The page is played from the first frame's time as the page maker read it.
first_frame=$("$checker" "$tmp/demo.cast" | sed -n 's/^first_frame //p')
CAST_FIRST_FRAME=$first_frame node "$here/web_page_test.cjs" "${quick[@]}" "$tmp" "$poster" "$moments"
