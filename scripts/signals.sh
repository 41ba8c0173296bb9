# Runs a long command from a script so that INT, TERM and HUP sent to the
# script reach the command at once (Ctrl-C reaches both): the command runs in
# the background, the script passes each signal on and waits until the
# command has really ended (a signal only interrupts the wait), then returns
# its status. A signal that comes while the command is being started is kept
# and passed on once it runs. The shell would start the command with SIGINT
# ignored, as it does for every background command; it must not be.
# Sourced by tools/record/record.sh.
run_passing_signals() {
    local pending="" sig pid status=0
    for sig in INT TERM HUP; do
        trap "pending=$sig" "$sig"
    done
    env --default-signal=INT "$@" &
    pid=$!
    for sig in INT TERM HUP; do
        trap "kill -$sig $pid 2>/dev/null" "$sig"
    done
    [ -z "$pending" ] || kill -"$pending" "$pid" 2>/dev/null || true
    while :; do
        wait "$pid" && status=0 || status=$?
        kill -0 "$pid" 2>/dev/null || break
    done
    trap - INT TERM HUP
    return "$status"
}
