#!/usr/bin/env bash
# The show's sound through real sound servers on a busy machine: a private
# PulseAudio server, and PipeWire where it is installed, each with a null sink
# in a runtime folder of its own. The sound library plays what the show plays
# (knark's five cards, then vorbel) beside two busy loops at its own priority,
# the sink's monitor is recorded, and sound_gaps fails the run on a dropout or
# a card that clicks. A run that breaks is played once more, so that a burst of
# other work on the machine alone does not fail the test; both must break.
# About 40 s. Skips (status 77) only when no server can start.
#
#     server_test.sh SHOW_SOUND SOUND_GAPS RUN_DIR
set -u
show_sound=$1 sound_gaps=$2 run_dir=$3
music_seconds=${SOUND_SERVER_MUSIC_SECONDS:-6}
rate=48000

work=$(mktemp -d "${TMPDIR:-/tmp}/sound-server.XXXXXX") || exit 1
# Everything this test starts runs in the background, its id in `pids` until
# it is stopped, and ends with the test, however the test ends.
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
trap finish EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

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

# Plays the show's sound with SDL's driver $2 and checks the monitor's
# recording; $1 names the run. Status 0 when it held.
play_once() {
    local name=$1 driver=$2 others=() player status
    for _ in 1 2; do
        sh -c 'while :; do :; done' &
        started
        others+=($!)
    done
    parec -d out.monitor --format=s16le --rate=$rate --channels=2 --raw --latency-msec=50 \
        "$work/rec.raw" &
    started
    others+=($!)
    sleep 0.5
    # In the background, so that a signal reaches this script at once.
    SDL_AUDIODRIVER=$driver timeout 60 "$show_sound" "$run_dir" "$music_seconds" \
        >"$work/play.txt" 2>&1 &
    started
    player=$!
    wait $player
    status=$?
    stop $player
    sleep 1
    stop "${others[@]}"
    if [ "$status" -ne 0 ]; then
        echo "$name: the player failed:"
        cat "$work/play.txt"
        return 1
    fi
    echo "$name:"
    "$sound_gaps" "$work/rec.raw" $rate | sed 's/^/    /'
    return "${PIPESTATUS[0]}"
}

failed=0
play() {
    play_once "$@" && return 0
    echo "$1: broke; played once more"
    play_once "$@" || failed=1
}

checked=()
skipped=()

# PulseAudio: a null sink and the native protocol, nothing else.
start_pulse() {
    command -v pulseaudio >/dev/null && command -v parec >/dev/null || {
        skipped+=("PulseAudio: pulseaudio or parec is not installed")
        return 1
    }
    export XDG_RUNTIME_DIR=$work/pulse HOME=$work/pulse-home
    export PULSE_RUNTIME_PATH=$XDG_RUNTIME_DIR/pulse PULSE_SERVER=unix:$XDG_RUNTIME_DIR/pulse/native
    mkdir -p -m 700 "$XDG_RUNTIME_DIR" "$HOME"
    printf '%s\n' "load-module module-null-sink sink_name=out rate=$rate" \
        "load-module module-native-protocol-unix" "set-default-sink out" >"$work/pulse.pa"
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no -F "$work/pulse.pa" \
        >"$work/pulse.log" 2>&1 &
    started
    pulse=$!
    wait_for_pulse && return 0
    skipped+=("PulseAudio did not start: $(tail -n 1 "$work/pulse.log")")
    return 1
}

# PipeWire with a session manager on a private bus, and its pulse layer
# (PipeWire's pulse protocol module, as its pulse server runs it).
start_pipewire() {
    local m
    for m in pipewire wireplumber dbus-daemon parec pactl; do
        command -v $m >/dev/null || {
            skipped+=("PipeWire: $m is not installed")
            return 1
        }
    done
    export XDG_RUNTIME_DIR=$work/pipewire HOME=$work/pipewire-home
    export PULSE_RUNTIME_PATH=$XDG_RUNTIME_DIR/pulse PULSE_SERVER=unix:$XDG_RUNTIME_DIR/pulse/native
    export DBUS_SESSION_BUS_ADDRESS=unix:path=$XDG_RUNTIME_DIR/bus
    mkdir -p -m 700 "$XDG_RUNTIME_DIR" "$HOME"
    cat >"$work/pulse-layer.conf" <<'EOF'
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
EOF
    dbus-daemon --session --nofork --address="$DBUS_SESSION_BUS_ADDRESS" >"$work/bus.log" 2>&1 &
    started
    wait_for_socket "$XDG_RUNTIME_DIR/bus"
    pipewire >"$work/pipewire.log" 2>&1 &
    started
    wait_for_socket "$XDG_RUNTIME_DIR/pipewire-0"
    wireplumber >"$work/wireplumber.log" 2>&1 &
    started
    pipewire -c "$work/pulse-layer.conf" >"$work/pipewire-pulse.log" 2>&1 &
    started
    if wait_for_pulse && pactl load-module module-null-sink sink_name=out rate=$rate >/dev/null &&
        pactl set-default-sink out; then
        return 0
    fi
    skipped+=("PipeWire did not start: $(tail -n 1 "$work/pipewire.log" "$work/pipewire-pulse.log" 2>/dev/null | tr '\n' ' ')")
    return 1
}

if start_pulse; then
    play "PulseAudio" pulseaudio
    checked+=(PulseAudio)
    stop "$pulse"
fi
if start_pipewire; then
    play "PipeWire, its pulse layer" pulseaudio
    play "PipeWire, SDL's pipewire driver" pipewire
    checked+=(PipeWire)
fi

for s in "${skipped[@]}"; do
    echo "not checked: $s"
done
if [ ${#checked[@]} -eq 0 ]; then
    echo "skipped: no sound server could start"
    exit 77
fi
exit $failed
