#!/usr/bin/env bash
# Plays a recording's web page (RECORDING_DIR/web, as make_web.sh makes it) in
# Debian's chromium and prints how the picture keeps to the music on a busy
# machine: the first load on a 10 Mbit/s line and unthrottled, then 20 s of
# playback beside four busy loops, sampled every 0.5 s: the largest gap
# between the music's moment and the player's after the first second, the
# music's pace against the page's clock, how often the music was moved (it
# should not be) and how often the page held or moved the picture.
#   bench/web/page_sync.sh [--loops N] [--build] RECORDING_DIR
# --build also builds the project from scratch in a temporary folder (-j2, at
# the same priority) while it plays. The load average is printed beside.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
loops=4 build=no
while [ $# -gt 1 ]; do
    case "$1" in
        --loops) loops=$2; shift 2 ;;
        --build) build=yes; shift ;;
        *) break ;;
    esac
done
[ $# -eq 1 ] && [ -f "$1/web/index.html" ] || {
    echo "usage: bench/web/page_sync.sh [--loops N] [--build] RECORDING_DIR (with web/ made)" >&2
    exit 2
}
"$root/tools/web/setup.sh"
builder=
tmp=$(mktemp -d)
trap '[ -z "$builder" ] || kill -- -"$builder" 2>/dev/null; rm -rf "$tmp"' EXIT
if [ "$build" = yes ]; then
    # In a process group of its own, ended whole however this ends.
    setsid bash -c "cmake -S '$root' -B '$tmp/build' >/dev/null && cmake --build '$tmp/build' -j2 >/dev/null 2>&1" &
    builder=$!
    sleep 20  # the compiler running before the page plays
fi
echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg) before"
node "$root/tests/tools/web_page_test.cjs" --measure "$loops" "$1"
echo "machine: load average $(cut -d' ' -f1-3 /proc/loadavg) after${builder:+, a build running}"
