#!/usr/bin/env bash
# The run wrapper with stand-in shows: a signal for the wrapper reaches the show
# at once and the wrapper ends with 128 + the signal, from its first moments on;
# the hint after the sound error comes on every run, many runs at once; a dead
# output ends it as it ends the show; Ctrl-Z gives the shell its cursor back
# until the show goes on; a terminal without colour is warned of, and sh is
# told to make way for bash; nothing is left behind.
#
#   run_demo_test.sh path/to/run-demo.sh
set -u
# Job control: each run in its own process group, SIGINT not ignored in it.
set -m
wrapper=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }
# Every run carries a mark in its environment; no process may keep it after the
# run, nor the wrapper leave anything in its temporary folder.
mkdir "$dir/tmp"
mark=run_demo_test_$$
cat >"$dir/run" <<RUN
#!/bin/sh
DEMO_TEST_MARK=$mark TMPDIR=$dir/tmp DEMO_RUN_DIR=$dir/\$1 exec env --default-signal=INT "$wrapper"
RUN
run=$dir/run
chmod +x "$run"
left_behind() {
    sleep 0.1
    ! grep -qzx "DEMO_TEST_MARK=$mark" /proc/[0-9]*/environ 2>/dev/null || fail "$1: a process is left"
    [ -z "$(ls -A "$dir/tmp")" ] || fail "$1: left $(ls -A "$dir/tmp")"
}

# Whether the wrapper runs and catches SIGHUP (bit 0 of the mask), as it does
# from its first line on; the shell ignores a SIGINT that comes while it starts.
first_line_run() {
    local key mask args
    mapfile -d '' args <"/proc/$1/cmdline"
    [[ ${args[1]:-} == */run-demo.sh ]] || return 1
    while read -r key mask; do
        [ "$key" = SigCgt: ] && return $((0x$mask & 1 ? 0 : 1))
    done <"/proc/$1/status"
    return 1
}

# Notes the signal it gets; plays for at most five seconds.
mkdir "$dir/playing"
cat >"$dir/playing/demo" <<'SHOW'
#!/usr/bin/env bash
for s in INT TERM HUP; do trap "echo $s >got; exit 1" $s; done
echo playing >got
for i in $(seq 100); do sleep 0.05; done
echo ended >got
SHOW
chmod +x "$dir/playing/demo"
for sig in INT TERM HUP; do
    rm -f "$dir/playing/got"
    "$run" playing >/dev/null 2>&1 &
    pid=$!
    for i in $(seq 100); do [ -s "$dir/playing/got" ] && break; sleep 0.05; done
    kill -"$sig" "$pid"
    wait "$pid"
    status=$?
    [ "$status" -eq $((128 + $(kill -l "$sig"))) ] || fail "$sig: wrapper ended with $status"
    [ "$(cat "$dir/playing/got")" = "$sig" ] || fail "$sig: the show $(cat "$dir/playing/got")"
    # Soon after the wrapper's first line (once it catches SIGHUP and has
    # parsed the rest), while it sets up and starts the show.
    for delay in 0.005 0.01 0.02 0.03 0.05; do
        "$run" playing >/dev/null 2>&1 &
        pid=$!
        until first_line_run "$pid" || ! [ -e "/proc/$pid" ]; do :; done
        sleep "$delay"
        kill -"$sig" "$pid"
        wait "$pid"
        status=$?
        [ "$status" -eq $((128 + $(kill -l "$sig"))) ] || fail "$sig after ${delay}s: wrapper ended with $status"
    done
    left_behind "$sig"
done

mkdir "$dir/nosound"
printf '#!/bin/sh\nprintf "INIT SOUND error\\n"\nexit 1\n' >"$dir/nosound/demo"
chmod +x "$dir/nosound/demo"
want=$(printf 'INIT SOUND error\nNo sound device was found. To watch the show silently: SDL_AUDIODRIVER=dummy ./run-demo.sh\n\033[0m\033[?25h\n_')
for i in $(seq 24); do
    ("$run" nosound >"$dir/out$i" 2>&1; echo $? >"$dir/status$i") &
done
wait
for i in $(seq 24); do
    [ "$(cat "$dir/status$i")" = 1 ] || fail "run $i ended with $(cat "$dir/status$i")"
    [ "$(cat "$dir/out$i"; echo _)" = "$want" ] || fail "run $i printed: $(cat -v "$dir/out$i")"
done

# On a terminal (script's) that is big enough but has no colour, a warning
# first; under sh, a word on what to run it with.
out=$(TERM=dumb script -qec "stty cols 80 rows 25; $run nosound" /dev/null | tr -d '\r')
[[ $out == "Warning: TERM is dumb; the demo needs a terminal that understands ANSI colour."$'\n'"INIT SOUND error"* ]] ||
    fail "TERM=dumb: $(cat -v <<<"$out")"
out=$(env -u TERM script -qec "stty cols 80 rows 25; $run nosound" /dev/null | tr -d '\r')
[[ $out == "Warning: TERM is not set; the demo needs a terminal that understands ANSI colour."$'\n'"INIT SOUND error"* ]] ||
    fail "TERM unset: $(cat -v <<<"$out")"

# A refused thread is no missing device: the show's reason, no word of the dummy driver.
mkdir "$dir/nothread"
printf '#!/bin/sh\nprintf "INIT SOUND error\\ndemo: cannot start the audio thread: Resource temporarily unavailable\\n"\nexit 1\n' >"$dir/nothread/demo"
chmod +x "$dir/nothread/demo"
out=$("$run" nothread 2>&1)
[ "$out" = "$(printf 'INIT SOUND error\ndemo: cannot start the audio thread: Resource temporarily unavailable\n\033[0m\033[?25h')" ] ||
    fail "refused thread: $(cat -v <<<"$out")"
out=$(sh "$wrapper" 2>&1)
status=$?
[ "$status.$out" = "2.run-demo.sh: run it with bash: bash $wrapper" ] || fail "under sh: $status, $out"

# Prints a frame of 24 lines 33 times a second, for ever.
mkdir "$dir/printing"
cat >"$dir/printing/demo" <<'SHOW'
#!/usr/bin/env bash
frame=$(for i in $(seq 24); do printf '%080d\n' "$i"; done)
while :; do printf '%s\n' "$frame"; sleep 0.03; done
SHOW
chmod +x "$dir/printing/demo"
timeout 5 "$run" printing >/dev/full 2>"$dir/err"
status=$?
[ "$status.$(cat "$dir/err")" = "1.demo: cannot write to standard output: No space left on device" ] ||
    fail "output full: $status, $(cat "$dir/err")"
timeout 5 "$run" printing >&- 2>"$dir/err"
status=$?
[ "$status.$(cat "$dir/err")" = "1.demo: cannot write to standard output: Bad file descriptor" ] ||
    fail "output closed: $status, $(cat "$dir/err")"
timeout 5 "$run" printing 2>"$dir/err" | head -c 100000 >/dev/null
status=${PIPESTATUS[0]}
[ "$status.$(cat "$dir/err")" = "141." ] || fail "pipe closed: $status, $(cat "$dir/err")"
left_behind "dead output"

# Ctrl-Z stops the wrapper's process group; the terminal's closing sends
# SIGHUP and SIGCONT together.
# Waits up to five seconds for a condition.
within_5s() { for i in $(seq 100); do "$@" && return 0; sleep 0.05; done; return 1; }
"$run" printing >"$dir/out" 2>&1 &
pid=$!
# In its own process group; a shell with job control would break off its own
# loops when the group stops.
set +m
within_5s test -s "$dir/out"
kill -TSTP -"$pid"
stopped() { local state; read -r _ _ state _ <"/proc/$pid/stat" && [ "$state" = T ]; }
within_5s stopped || fail "Ctrl-Z: the wrapper did not stop"
size=$(stat -c %s "$dir/out")
[ "$(tail -c 10 "$dir/out")" = $'\033[0m\033[?25h' ] || fail "Ctrl-Z: ends with $(tail -c 10 "$dir/out" | cat -v)"
kill -CONT -"$pid"
goes_on() { [ "$(stat -c %s "$dir/out")" -gt $((size + 6)) ]; }
within_5s goes_on || fail "fg: the show does not go on"
# The relay goes on with the wrapper, so the show's bytes may come first.
tail -c +$((size + 1)) "$dir/out" | grep -q $'\033\[?25l' || fail "fg: the cursor is not hidden again"
kill -HUP "$pid"
kill -CONT "$pid"
wait "$pid"
status=$?
[ "$status" -eq 129 ] || fail "terminal closed: wrapper ended with $status"
left_behind "Ctrl-Z and terminal closed"
exit $failed
