#!/usr/bin/env bash
# The show's sound through real sound servers on a busy machine: a private
# PulseAudio server, and PipeWire where it is installed, through its pulse
# layer and through SDL's own PipeWire driver, each with a null sink. The
# sound library plays what the show plays (knark's five cards, then vorbel)
# beside two busy loops at its own priority, the sink's monitor is recorded,
# and sound_gaps fails the run on a dropout or a card that clicks. A run that
# breaks is played again, twice at most, so that a burst of other work on the
# machine alone does not fail the test; all three must break. A server that
# ends while the music plays must leave the player playing on to its end.
# Last, with no server to reach, the player must still play through another
# driver or say "INIT SOUND error". About 50 s, up to 110 s when runs are
# played again. Skips (status 77) only when no server can start.
#
#     server_test.sh SHOW_SOUND SOUND_GAPS RUN_DIR
set -u
show_sound=$1 sound_gaps=$2 run_dir=$3
music_seconds=${SOUND_SERVER_MUSIC_SECONDS:-6}
. "$(dirname "$0")/servers.sh"
trap finish EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

# Plays the show's sound with SDL's driver $2 and checks the recording; $1
# names the run. Status 0 when it held.
play_once() {
    start_load_and_recording 2
    SDL_AUDIODRIVER=$2 run_player "$show_sound" "$run_dir" "$music_seconds"
    local status=$?
    stop_load_and_recording
    if [ "$status" -ne 0 ]; then
        echo "$1: the player failed: $(cat "$work/play.txt")"
        return 1
    fi
    echo "$1:"
    "$sound_gaps" "$work/rec.raw" $rate | sed 's/^/    /'
    return "${PIPESTATUS[0]}"
}

failed=0
play() {
    local tries
    for tries in 1 2; do
        play_once "$@" && return 0
        echo "$1: broke; played once more"
    done
    play_once "$@" || failed=1
}

checked=0
# A server that goes away while the music plays costs the sound, not the
# show: the player plays on in silence to its end and says nothing.
server_goes_away() {
    local player status
    SDL_AUDIODRIVER=pulseaudio timeout 60 "$show_sound" "$run_dir" 3 >"$work/play.txt" 2>&1 &
    started
    player=$!
    sleep 6.5 # the cards take 5.5 s
    stop "$server"
    wait $player
    status=$?
    stop $player
    if [ $status -eq 0 ] && ! grep -qv '^audio thread CPU' "$work/play.txt"; then
        echo "server gone in the middle: played on to the end"
    else
        echo "server gone in the middle: the player ended with $status: $(cat "$work/play.txt")"
        failed=1
    fi
}

if start_pulse; then
    play "PulseAudio" pulseaudio
    checked=1
    server_goes_away
else
    echo "PulseAudio not checked: $server_failure"
fi
if start_pipewire; then
    play "PipeWire, its pulse layer" pulseaudio
    play "PipeWire, SDL's PipeWire driver" pipewire
    checked=1
else
    echo "PipeWire not checked: $server_failure"
fi

# With no server to reach, SDL goes on to the next driver as it always does;
# where none can play, the player says so as the show does.
use_runtime none
run_player env -u SDL_AUDIODRIVER "$show_sound" "$run_dir" 1
status=$?
if [ "$status" -eq 1 ] && [ "$(cat "$work/play.txt")" = "INIT SOUND error" ]; then
    echo "no server: INIT SOUND error"
elif [ "$status" -eq 0 ]; then
    echo "no server: played through another driver"
else
    echo "no server: the player ended with $status: $(cat "$work/play.txt")"
    failed=1
fi

if [ $checked -eq 0 ]; then
    echo "skipped: no sound server could start"
    exit 77
fi
exit $failed
