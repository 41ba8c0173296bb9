#!/usr/bin/env bash
# The run wrapper with stand-in shows: a signal for the wrapper reaches the show
# at once and the wrapper ends with 128 + the signal; the hint after the sound
# error comes on every run, many runs at once.
#
#   run_demo_test.sh path/to/run-demo.sh
set -u
wrapper=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

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
    DEMO_RUN_DIR=$dir/playing env --default-signal=INT "$wrapper" >/dev/null 2>&1 &
    pid=$!
    for i in $(seq 100); do [ -s "$dir/playing/got" ] && break; sleep 0.05; done
    kill -"$sig" "$pid"
    wait "$pid"
    status=$?
    [ "$status" -eq $((128 + $(kill -l "$sig"))) ] || fail "$sig: wrapper ended with $status"
    [ "$(cat "$dir/playing/got")" = "$sig" ] || fail "$sig: the show $(cat "$dir/playing/got")"
done

mkdir "$dir/nosound"
printf '#!/bin/sh\nprintf "INIT SOUND error\\n"\nexit 1\n' >"$dir/nosound/demo"
chmod +x "$dir/nosound/demo"
want=$(printf 'INIT SOUND error\nNo sound device was found. To watch the show silently: SDL_AUDIODRIVER=dummy ./run-demo.sh\n\033[0m\033[?25h\n_')
for i in $(seq 24); do
    (DEMO_RUN_DIR=$dir/nosound "$wrapper" >"$dir/out$i" 2>&1; echo $? >"$dir/status$i") &
done
wait
for i in $(seq 24); do
    [ "$(cat "$dir/status$i")" = 1 ] || fail "run $i ended with $(cat "$dir/status$i")"
    [ "$(cat "$dir/out$i"; echo _)" = "$want" ] || fail "run $i printed: $(cat -v "$dir/out$i")"
done
exit $failed
