#!/usr/bin/env bash
# Builds the demo and plays it in this terminal.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/packages.sh
ensure_packages $demo_packages

# Built quietly; the log is shown only when something goes wrong.
mkdir -p build
log=build/build.log
{ cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DDEMO_TESTS=OFF &&
  cmake --build build -j"$(nproc)"; } >"$log" 2>&1 || { cat "$log"; exit 1; }

cols=$(tput cols 2>/dev/null || echo 80)
lines=$(tput lines 2>/dev/null || echo 25)
if [ "$cols" -lt 80 ] || [ "$lines" -lt 25 ]; then
    echo "Warning: this terminal is ${cols}x${lines}; the demo needs at least 80x25." >&2
    sleep 2
fi

# However the show ends, Ctrl-C included, give the shell its cursor and colours back.
restore() { printf '\033[0m\033[?25h\n'; }
trap restore EXIT
trap 'exit 130' INT TERM

cd build/run
status=0
out=$(mktemp)
# The first bytes are kept aside to tell why the show stopped, if it did.
./demo | tee -p >(head -c 64 > "$out") || status=${PIPESTATUS[0]}
if grep -q "INIT SOUND error" "$out" 2>/dev/null; then
    echo "No sound device was found. To watch the show silently: SDL_AUDIODRIVER=dummy ./run-demo.sh"
fi
rm -f "$out"
exit "$status"
