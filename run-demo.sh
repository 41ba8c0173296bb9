#!/usr/bin/env bash
# Builds the demo and plays it in this terminal. With DEMO_RUN_DIR naming a run
# directory (a `demo` binary beside its modules and grafik/), plays that one
# instead, without building.
set -euo pipefail
run_dir=""
[ -n "${DEMO_RUN_DIR:-}" ] && run_dir=$(cd "$DEMO_RUN_DIR" && pwd)
cd "$(dirname "$0")"

if [ -z "$run_dir" ]; then
    . scripts/packages.sh
    ensure_packages $demo_packages
    # Built quietly into its own folder; the log is shown only when something goes wrong.
    echo "Building the demo ..." >&2
    mkdir -p build-demo
    log=build-demo/build.log
    { cmake -S . -B build-demo -DCMAKE_BUILD_TYPE=Release -DDEMO_TESTS=OFF &&
      cmake --build build-demo -j"$(nproc)"; } >"$log" 2>&1 || { cat "$log"; exit 1; }
    run_dir=$PWD/build-demo/run
fi

# Only a terminal has a size worth a warning.
if [ -t 1 ]; then
    { size=$(stty size <&3 2>/dev/null || echo "25 80"); } 3>&1
    read -r lines cols <<<"$size"
    if [ "$cols" -lt 80 ] || [ "$lines" -lt 25 ]; then
        echo "Warning: this terminal is ${cols}x${lines}; the demo needs at least 80x25." >&2
        sleep 2
    fi
fi

# Passes the show's output on as it comes, each read handed on in one write so
# that every frame reaches the terminal whole, and explains the sound error
# when the first bytes carry it.
relay() {
    local LC_ALL=C first=""
    IFS= read -r -d '' -N 64 first || true
    printf '%s' "$first"
    cat
    case $first in
    *"INIT SOUND error"*)
        echo "No sound device was found. To watch the show silently: SDL_AUDIODRIVER=dummy ./run-demo.sh" ;;
    esac
}

tmp=$(mktemp -d)
# However the show ends, Ctrl-C included, give the shell its cursor and colours back.
restore() {
    printf '\033[0m\033[?25h\n'
    rm -rf "$tmp"
}
trap restore EXIT

# A signal for the wrapper is passed on to the show at once; the wrapper ends
# with 128 + the signal once the show and the relay are done. One that comes
# while the two are being started is kept until both are known.
pass_on() {
    kill -"$1" "$demo_pid" 2>/dev/null || true
    wait "$demo_pid" "$relay_pid" 2>/dev/null || true
    exit $((128 + $(kill -l "$1")))
}
pending=""
for sig in INT TERM HUP; do
    trap "pending=$sig" "$sig"
done

# Started in the background so that the traps run while it plays; the shell
# ignores SIGINT in background children, and the show must not. The pipe is
# held open here while they start, so that neither waits in its open for the
# other: a show killed before it opened the pipe would leave the relay, and the
# wrapper with it, waiting for ever.
mkfifo "$tmp/out"
exec 3<>"$tmp/out"
cd "$run_dir"
relay <"$tmp/out" 3>&- &
relay_pid=$!
env --default-signal=INT,QUIT ./demo >&3 3>&- &
demo_pid=$!
exec 3>&-
for sig in INT TERM HUP; do
    trap "pass_on $sig" "$sig"
done
[ -z "$pending" ] || pass_on "$pending"
status=0
wait "$demo_pid" || status=$?
wait "$relay_pid" || true
exit "$status"
