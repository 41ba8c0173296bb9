#!/usr/bin/env bash
# Builds the demo and the recorder, then records one whole show at real speed:
# demo.mp4, demo.cast and any stills asked for, in --out DIR (default: here),
# and makes the show's web page from them in DIR/web (tools/web/make_web.sh).
# Every argument goes to the recorder; `record.sh --help` lists them.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/packages.sh"
ensure_packages $demo_packages $record_packages $web_packages

# Relative paths in the arguments mean what they mean where this was started.
args=()
out=$PWD
while [ $# -gt 0 ]; do
    case "$1" in
        --out) out=$(realpath -m -- "$2"); args+=("$1" "$out"); shift 2 ;;
        --font) args+=("$1" "$(realpath -m -- "$2")"); shift 2 ;;
        *) args+=("$1"); shift ;;
    esac
done
[[ " ${args[*]-} " == *" --out "* ]] || args+=(--out "$PWD")

# Built quietly into the run command's folder; the log is shown only when something goes wrong.
echo "Building the demo and the recorder ..." >&2
log="$root/build-demo/build.log"
mkdir -p "$root/build-demo"
{ cmake -S "$root" -B "$root/build-demo" -DCMAKE_BUILD_TYPE=Release -DDEMO_TESTS=OFF &&
  cmake --build "$root/build-demo" -j"$(nproc)"; } >"$log" 2>&1 || { cat "$log"; exit 1; }

cd "$root/build-demo/run"
"$root/build-demo/tools/record/record" "${args[@]}"
[[ " ${args[*]} " == *" --help "* || " ${args[*]} " == *" -h "* ]] ||
    "$root/tools/web/make_web.sh" "$out"
