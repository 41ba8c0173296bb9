#!/usr/bin/env bash
# A signal that comes before the show has started ends the wrapper at once.
trap 'exit 130' INT; trap 'exit 143' TERM; trap 'exit 129' HUP
# What follows is bash's; sh would stop at it with a syntax error.
[ -n "${BASH_VERSION:-}" ] || { echo "${0##*/}: run it with bash: bash $0" >&2; exit 2; }
# Builds the demo and plays it in this terminal. With DEMO_RUN_DIR naming a run
# directory (a `demo` binary beside its modules and grafik/), plays that one
# instead, without building. Installed as the `demo` command, it plays the
# installed show from its data folder.
#
# Until the show runs, the wrapper starts no other program when it needs none:
# the shell drops a SIGINT that comes while it waits for one that then ends
# normally. The rest of the script is one group, read and parsed whole before
# any of it runs: a trap that runs while the shell is still parsing a command
# substitution fails to parse itself.
{
set -euo pipefail
installed=no # the install rules install this script with "yes" here
# Its own folder, through any symbolic links it was reached by.
self=$0
while [ -L "$self" ]; do
    link=$(readlink -- "$self")
    [[ $link == /* || $self != */* ]] || link=${self%/*}/$link
    self=$link
done
here=.
[[ $self == */* ]] && here=${self%/*}
[[ $here == /* ]] || here=$PWD/$here
if [ "$installed" = yes ]; then
    run_dir=$here/../share/demo
    program=$here/../lib/demo/demo
    command_name=${0##*/}
else
    run_dir=""
    if [ -n "${DEMO_RUN_DIR:-}" ]; then
        cd "$DEMO_RUN_DIR"
        run_dir=$PWD
    fi
    program=./demo
    command_name=./run-demo.sh
    cd "$here"
fi

# With standard output closed the show could print nothing: it says so and
# ends with status 1, and so does the wrapper, without starting it.
if ! [ -e /dev/fd/1 ]; then
    echo "demo: cannot write to standard output: Bad file descriptor" >&2
    exit 1
fi

if [ -z "$run_dir" ]; then
    . scripts/packages.sh
    ensure_packages $demo_packages
    # Built quietly into its own folder; the log is shown only when something goes wrong.
    echo "Building the demo ..." >&2
    mkdir -p build-demo
    log=build-demo/build.log
    # The show alone: the tools (and the packages they need) are left to the
    # commands that use them, which build them into the same folder.
    { cmake -S . -B build-demo -DCMAKE_BUILD_TYPE=Release -DDEMO_TOOLS=OFF -DDEMO_TESTS=OFF &&
      cmake --build build-demo -j"$(nproc)"; } >"$log" 2>&1 || { cat "$log"; exit 1; }
    run_dir=$PWD/build-demo/run
fi

# Only a terminal has a size and a kind worth a warning.
if [ -t 1 ]; then
    warned=""
    { size=$(stty size <&3 2>/dev/null || echo "25 80"); } 3>&1
    read -r lines cols <<<"$size"
    if [ "$cols" -lt 80 ] || [ "$lines" -lt 25 ]; then
        echo "Warning: this terminal is ${cols}x${lines}; the demo needs at least 80x25." >&2
        warned=yes
    fi
    # Bash gives itself TERM=dumb when the environment has none: only an
    # exported TERM is the terminal's.
    term="not set"
    [[ -v TERM && ${TERM@a} == *x* ]] && term=${TERM:-empty}
    case $term in
    "not set" | empty | dumb)
        echo "Warning: TERM is $term; the demo needs a terminal that understands ANSI colour." >&2
        warned=yes ;;
    esac
    [ -z "$warned" ] || sleep 2
fi

# Passes the show's output on as it comes, each read handed on in one write so
# that every frame reaches the terminal whole, and explains the sound error
# when the first bytes carry it. When the output dies it ends as the show
# would: a closed pipe ends it with status 141 (SIGPIPE), any other write error
# with the show's message and status 1.
relay() {
    local LC_ALL=C first="" err status=0
    IFS= read -r -d '' -N 64 first || true
    { err=$({ printf '%s' "$first" && LC_ALL=C exec cat; } 2>&1 >&7) || status=$?; } 7>&1
    case $status in
    0) ;;
    141) exit 141 ;;
    *)
        case $err in
        *"write error: "*) err="demo: cannot write to standard output: ${err##*write error: }" ;;
        esac
        printf '%s\n' "$err" >&2
        exit 1 ;;
    esac
    case $first in
    *"INIT SOUND error"*"cannot start"*) ;; # a refused thread, as the show said
    *"INIT SOUND error"*)
        echo "No sound device was found. To watch the show silently: SDL_AUDIODRIVER=dummy $command_name" ;;
    esac
}

# Writes to the terminal that cannot stop or end the wrapper: a dead output
# ends the subshell, not the wrapper.
say() { (printf "$@") 2>/dev/null || true; }

# However the show ends, Ctrl-C included, give the shell its cursor and colours
# back, unless the output is gone. Should the wrapper itself fail, the show does
# not play on without it.
output=alive
restore() {
    [ -n "${ended:-}" ] || kill -KILL "$demo_pid" 2>/dev/null || true
    [ "$output" = alive ] && say '\033[0m\033[?25h\n'
    return 0
}

# A signal for the wrapper is passed on to the show at once, and again every
# 20 ms for a second while it plays (one that reaches it before it has set up
# its own handling is lost), with a SIGCONT should it be stopped; the wrapper ends with 128 + the signal once the
# show and the relay are done. One that comes while the two are being started
# is kept until both are known.
pass_on() {
    local i
    for i in $(seq 50); do
        kill -"$1" "$demo_pid" 2>/dev/null || break
        kill -CONT "$demo_pid" 2>/dev/null || true # a stopped show acts on none
        sleep 0.02
    done
    wait "$demo_pid" "$relay_pid" 2>/dev/null || true
    ended=$demo_pid
    exit $((128 + $(kill -l "$1")))
}
# Ctrl-Z: the cursor and colours are the shell's while the show is stopped,
# the show's again once it goes on. (The wrapper stops itself and goes on from
# there; a trap on SIGCONT would make the shell drop the SIGHUP that comes with
# it when the terminal closes.)
suspend() {
    kill -TSTP "$demo_pid" 2>/dev/null || true
    say '\033[0m\033[?25h'
    trap - TSTP
    kill -TSTP $$
    trap suspend TSTP
    say '\033[?25l'
    kill -CONT "$demo_pid" 2>/dev/null || true
}

pending=""
for sig in INT TERM HUP; do
    trap "pending=$sig" "$sig"
done
# The show prints into a pipe read by the relay, the pipe's only reader: when
# the relay stops, SIGPIPE ends the show silently on its next frame. The show
# is started in the background so that the traps run while it plays; the shell
# ignores SIGINT in background children, and the show must not.
cd "$run_dir"
exec 6> >(relay)
relay_pid=$!
env --default-signal=INT,QUIT,PIPE "$program" >&6 6>&- &
demo_pid=$!
exec 6>&-
trap restore EXIT
for sig in INT TERM HUP; do
    trap "pass_on $sig" "$sig"
done
trap suspend TSTP
[ -z "$pending" ] || pass_on "$pending"

# Waits out Ctrl-Z, which interrupts the wait.
ended=""
until [ -n "${ended:-}" ]; do
    status=0
    wait -p ended "$demo_pid" || status=$?
done
relay_status=0
wait "$relay_pid" || relay_status=$?
case $relay_status in
0) exit "$status" ;;
141)
    output=dead
    trap - PIPE
    kill -PIPE $$
    exit 141 ;;
*)
    output=dead
    exit 1 ;;
esac
}
