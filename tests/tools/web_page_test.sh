#!/usr/bin/env bash
# The show's web page in a real browser: the recorder records the stand-in
# show with its colour pattern (FAKE_SHOW_COLOURS) and five stills,
# tools/web/make_web.sh makes the page, and web_page_test.cjs plays it in
# Debian's chromium. Exits 77 (skipped) when chromium cannot start.
#   web_page_test.sh RECORD_BINARY FAKE_SHOW_BINARY CAST_COMPACT_BINARY
set -euo pipefail
record=$1 fake_show=$2 compactor=$3
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
if ! command -v chromium >/dev/null; then
    echo "SKIPPED: chromium cannot start: it is not installed"
    exit 77
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
moments="s1@1.35,s2@3.65,s3@6.05,s4@8.45,s5@11.15"
FAKE_SHOW_COLOURS=400 "$record" --run-dir "$tmp" --demo "$fake_show" --out "$tmp" \
    --stills "$moments" >"$tmp/record.log" 2>&1 || { cat "$tmp/record.log"; exit 1; }
"$root/tools/web/make_web.sh" --cast-compact "$compactor" "$tmp"
node "$here/web_page_test.cjs" "$tmp" "$moments"
