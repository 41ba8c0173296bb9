#!/usr/bin/env bash
# How record.sh runs the recorder (scripts/signals.sh), with a stand-in
# recorder: the script ends with the recorder's status; INT, TERM and HUP sent
# to the script reach the recorder at once, and the script ends with 128 + n
# only once the recorder has ended; a signal that comes while it starts is not
# lost; nothing is left running.
#
#   record_script_test.sh path/to/scripts/signals.sh
set -u
# Job control: each run in its own process group, SIGINT not ignored in it.
set -m
signals=$1
dir=$(mktemp -d)
# Only this shell cleans up: a run's child that a signal ends between its fork
# and its exec still holds this trap, and must not remove the folder.
trap '[ "$BASHPID" = "$$" ] && rm -rf "$dir"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }
mark=record_script_test_$$

# The stand-in: notes the signal after a moment of cleaning up and ends with
# 128 + n, or plays for ROUNDS twentieths of a second and ends with STATUS.
#   recorder FILE STATUS ROUNDS
cat >"$dir/recorder" <<'REC'
#!/usr/bin/env bash
for s in INT TERM HUP; do
    trap "sleep 0.2; echo $s >'$1'; exit $((128 + $(kill -l $s)))" "$s"
done
echo started >"$1"
for i in $(seq "$3"); do sleep 0.05; done
echo ended >"$1"
exit "$2"
REC
cat >"$dir/script" <<SCRIPT
#!/usr/bin/env bash
set -euo pipefail
. "$signals"
status=0
run_passing_signals "$dir/recorder" "\$@" || status=\$?
exit "\$status"
SCRIPT
chmod +x "$dir/recorder" "$dir/script"
export RECORD_SCRIPT_TEST_MARK=$mark
left_behind() {
    sleep 0.3
    ! grep -qzx "RECORD_SCRIPT_TEST_MARK=$mark" /proc/[0-9]*/environ 2>/dev/null ||
        fail "$1: a process is left"
}

"$dir/script" "$dir/got" 3 1
status=$?
[ "$status.$(cat "$dir/got")" = "3.ended" ] || fail "plain run: $status, $(cat "$dir/got")"

for sig in INT TERM HUP; do
    rm -f "$dir/got"
    "$dir/script" "$dir/got" 0 100 &
    pid=$!
    for i in $(seq 200); do [ -s "$dir/got" ] && break; sleep 0.01; done
    kill -"$sig" "$pid"
    wait "$pid"
    status=$?
    # The recorder took 0.2 s to end; the script waited for it.
    [ "$status.$(cat "$dir/got")" = "$((128 + $(kill -l "$sig"))).$sig" ] ||
        fail "$sig: $status, $(cat "$dir/got")"
    left_behind "$sig"
done

# As it starts: ended all the same, with the signal's status.
for delay in 0 0.005 0.01 0.02 0.04; do
    "$dir/script" "$dir/got" 0 100 &
    pid=$!
    sleep "$delay"
    kill -TERM "$pid"
    wait "$pid"
    status=$?
    [ "$status" -eq 143 ] || fail "TERM after ${delay}s: $status"
    left_behind "TERM after ${delay}s"
done
exit $failed
