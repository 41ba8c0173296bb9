# Private sound servers for the sound server test and benchmark: sourced by
# both. A PulseAudio server, or PipeWire with its session manager and its
# pulse layer, each in a runtime folder of its own under $work and with one
# null sink, "out", at $rate Hz, whose monitor is recorded with parec.
# Everything started here runs in the background with its id in `pids` until
# it is stopped; `finish` (run it on exit) ends all of it and removes $work.
# The servers run in a session of their own, as a desktop's sound server runs
# apart from the terminal the show is started in: the kernel then shares the
# CPU between the server's scheduling group and the players', and a player's
# session full of busy threads can keep the server's main thread waiting.

rate=48000
work=$(mktemp -d "${TMPDIR:-/tmp}/sound-server.XXXXXX") || exit 1
pids=()
started() { pids+=("$!"); }
stop() {
    local p keep=()
    kill "$@" 2>/dev/null
    wait "$@" 2>/dev/null
    for p in "${pids[@]}"; do
        [[ " $* " == *" $p "* ]] || keep+=("$p")
    done
    pids=("${keep[@]}")
}
finish() {
    [ ${#pids[@]} -eq 0 ] || stop "${pids[@]}"
    rm -rf "$work"
}

# Why the last server did not start.
server_failure=

# Waits up to 10 s for a pulse server to answer at $PULSE_SERVER.
wait_for_pulse() {
    local i
    for ((i = 0; i < 100; i++)); do
        pactl info >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

# Waits up to 5 s for the socket $1 to appear.
wait_for_socket() {
    local i
    for ((i = 0; i < 50; i++)); do
        [ -S "$1" ] && return 0
        sleep 0.1
    done
    return 1
}

# Points the clients at a runtime folder of their own, $work/$1.
use_runtime() {
    export XDG_RUNTIME_DIR=$work/$1 HOME=$work/$1-home
    export PULSE_RUNTIME_PATH=$XDG_RUNTIME_DIR/pulse PULSE_SERVER=unix:$XDG_RUNTIME_DIR/pulse/native
    export DBUS_SESSION_BUS_ADDRESS=unix:path=$XDG_RUNTIME_DIR/bus
    mkdir -p -m 700 "$XDG_RUNTIME_DIR" "$HOME"
}

# PulseAudio with a null sink and the native protocol, nothing else. Sets
# `server` to its id.
start_pulse() {
    local m
    for m in pulseaudio pactl parec; do
        command -v $m >/dev/null || {
            server_failure="$m is not installed"
            return 1
        }
    done
    use_runtime pulse
    printf '%s\n' "load-module module-null-sink sink_name=out rate=$rate" \
        "load-module module-native-protocol-unix" "set-default-sink out" >"$work/pulse.pa"
    setsid pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no -F "$work/pulse.pa" \
        >"$work/pulse.log" 2>&1 &
    started
    server=$!
    wait_for_pulse && return 0
    server_failure="it did not start: $(tail -n 1 "$work/pulse.log")"
    return 1
}

# PipeWire and its session manager on a private bus, and its pulse layer (the
# pulse protocol module, run as PipeWire's pulse server runs it).
start_pipewire() {
    local m
    for m in pipewire wireplumber dbus-daemon pactl parec; do
        command -v $m >/dev/null || {
            server_failure="$m is not installed"
            return 1
        }
    done
    use_runtime pipewire
    cat >"$work/pulse-layer.conf" <<'CONF'
context.spa-libs = {
    audio.convert.* = audioconvert/libspa-audioconvert
    support.*       = support/libspa-support
}
context.modules = [
    { name = libpipewire-module-rt flags = [ ifexists nofail ] }
    { name = libpipewire-module-protocol-native }
    { name = libpipewire-module-client-node }
    { name = libpipewire-module-adapter }
    { name = libpipewire-module-metadata }
    { name = libpipewire-module-protocol-pulse args = { server.address = [ "unix:native" ] } }
]
CONF
    setsid dbus-daemon --session --nofork --address="$DBUS_SESSION_BUS_ADDRESS" >"$work/bus.log" 2>&1 &
    started
    wait_for_socket "$XDG_RUNTIME_DIR/bus"
    setsid pipewire >"$work/pipewire.log" 2>&1 &
    started
    wait_for_socket "$XDG_RUNTIME_DIR/pipewire-0"
    setsid wireplumber >"$work/wireplumber.log" 2>&1 &
    started
    setsid pipewire -c "$work/pulse-layer.conf" >"$work/pipewire-pulse.log" 2>&1 &
    started
    # The session manager may take a moment before it lets a sink be made.
    local i
    if wait_for_pulse; then
        for ((i = 0; i < 50; i++)); do
            pactl load-module module-null-sink sink_name=out rate=$rate >/dev/null 2>&1 &&
                pactl set-default-sink out && return 0
            sleep 0.1
        done
    fi
    server_failure="it did not start: $(tail -q -n 1 "$work/pipewire.log" \
        "$work/pipewire-pulse.log" 2>/dev/null | tr '\n' ' ')"
    return 1
}

# Starts $1 busy loops and the recording of the sink into $work/rec.raw;
# `others` holds their ids.
start_load_and_recording() {
    local i
    others=()
    for ((i = 0; i < $1; i++)); do
        sh -c 'while :; do :; done' &
        started
        others+=($!)
    done
    parec -d out.monitor --format=s16le --rate=$rate --channels=2 --raw --latency-msec=50 \
        "$work/rec.raw" &
    started
    others+=($!)
    sleep 0.5
}

stop_load_and_recording() {
    sleep 1
    stop "${others[@]}"
}

# Runs a player in the background, so that a signal reaches the script at
# once; its output goes to $work/play.txt. Returns its status.
run_player() {
    local player
    timeout 120 "$@" >"$work/play.txt" 2>&1 &
    started
    player=$!
    wait $player
    local status=$?
    stop $player
    return $status
}
