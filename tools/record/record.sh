#!/usr/bin/env bash
# Builds the demo and the recorder, then records one whole show at real speed:
# demo.mp4, demo.cast and any stills asked for, in --out DIR (default: here),
# and makes the show's web page from them in DIR/web (tools/web/make_web.sh).
# Every argument goes to the recorder; `record.sh --help` lists them.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
# Relative paths in the arguments mean what they mean where this was started,
# in either spelling (--out DIR or --out=DIR); without --out, the recording
# goes here.
args=()
out=$PWD
help=no
while [ $# -gt 0 ]; do
    case "$1" in
        --out=|--font=|--out|--font)
            # A path the recorder would be handed as an empty word.
            if [[ $1 == *= || ($# -ge 2 && -z $2) ]]; then
                echo "record.sh: ${1%=} needs its argument, not an empty word" >&2
                exit 2
            fi ;;&
        --out|--font)
            [ $# -ge 2 ] || { args+=("$1"); shift; continue; }
            path=$(realpath -m -- "$2"); args+=("$1=$path"); shift 2
            [[ ${args[-1]} == --out=* ]] && out=$path ;;
        --out=*|--font=*)
            path=$(realpath -m -- "${1#*=}"); args+=("${1%%=*}=$path"); shift
            [[ ${args[-1]} == --out=* ]] && out=$path ;;
        -h|--help) help=yes; args+=("$1"); shift ;;
        --) args+=("$@"); break ;;
        *) args+=("$1"); shift ;;
    esac
done

. "$root/scripts/packages.sh"
ensure_packages $demo_packages $tools_packages $record_packages $web_packages

# Built quietly into the run command's folder; the log is shown only when something goes wrong.
echo "Building the demo and the recorder ..." >&2
log="$root/build-demo/build.log"
mkdir -p "$root/build-demo"
{ cmake -S "$root" -B "$root/build-demo" -DCMAKE_BUILD_TYPE=Release -DDEMO_TOOLS=ON -DDEMO_TESTS=OFF &&
  cmake --build "$root/build-demo" -j"$(nproc)"; } >"$log" 2>&1 || { cat "$log"; exit 1; }

cd "$root/build-demo/run"
# INT, TERM and HUP reach the recorder at once; it ends the show, keeps
# nothing and ends with 128 + the signal, and so does this script.
. "$root/scripts/signals.sh"
status=0
run_passing_signals "$root/build-demo/tools/record/record" --out "$out" "${args[@]}" || status=$?
[ "$status" -eq 0 ] || exit "$status"
[ "$help" = yes ] || "$root/tools/web/make_web.sh" "$out"
