#!/usr/bin/env bash
# The show's web page in a real browser: the recorder records the stand-in
# show with its colour pattern (FAKE_SHOW_COLOURS, 22.5 s) and six stills,
# tools/web/make_web.sh makes the page (its poster at the first still's
# moment), and web_page_test.cjs plays it in Debian's chromium; about 90 s in
# all, 40 with --quick. Exits 77 (skipped) when chromium cannot start.
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
FAKE_SHOW_COLOURS=750 "$record" --run-dir "$tmp" --demo "$fake_show" --out "$tmp" \
    --stills "$poster,$moments" >"$tmp/record.log" 2>&1 || { cat "$tmp/record.log"; exit 1; }
"$root/tools/web/make_web.sh" --cast-check "$checker" --cast-compact "$compactor" \
    --poster "${poster#*@}" "$tmp"
node "$here/web_page_test.cjs" "${quick[@]}" "$tmp" "$poster" "$moments"
