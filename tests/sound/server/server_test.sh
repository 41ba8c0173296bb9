#!/usr/bin/env bash
# The show's sound through real sound servers on a busy machine: a private
# PulseAudio server, and PipeWire where it is installed, through its pulse
# layer and through SDL's own PipeWire driver, each with a null sink and in a
# session of its own, as a desktop's server runs. First the sound library
# alone plays what the show plays (knark's five cards, then vorbel), then the
# whole show: the demo binary itself, started in the same session as the busy
# loops (so that the scheduler counts it in their group), its picture written
# to /dev/null, stopped once its opening and 25 s of vorbel have played (its
# 119 border crawlers are all out after the first 6), played once and
# reported, not yet judged. Each plays beside two busy loops at its own
# priority, the sink's monitor is recorded, and sound_gaps fails the run on a
# dropout or a card that clicks. A run that
# breaks is judged against the module player openmpt123, which then plays
# vorbel through the same server beside the same loops: when it breaks too,
# the machine's other work, not the player, broke the run, and the run is
# said and not counted. A counted run that breaks is played again until two
# more counted runs have held or one more has broken, so a fault that breaks
# most runs fails the test; each case says how many runs broke and how many
# the machine spoiled, and a case the machine spoils three times is said to
# be unjudged. A server that ends while the music plays must leave the player
# playing on to its end. Last, with no server to reach, the player must still
# play through another driver or say "INIT SOUND error". About 3 minutes on a
# quiet machine, longer when runs are played again. Skips (status 77) only
# when no server can start.
#
#     server_test.sh SHOW_SOUND SOUND_GAPS RUN_DIR
set -u
show_sound=$1 sound_gaps=$2 run_dir=$3
music_seconds=${SOUND_SERVER_MUSIC_SECONDS:-6}
# The show's opening takes 15 s; the rest is vorbel.
show_seconds=${SOUND_SERVER_SHOW_SECONDS:-40}
. "$(dirname "$0")/servers.sh"
trap finish EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

# Plays the show's sound through the library alone with SDL's driver $2 and
# checks the recording; $1 names the run. Status 0 when it held.
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

# The same with the whole show, started in this session beside the loops and
# stopped by an interrupt after $show_seconds (timeout then says 124).
show_once() {
    start_load_and_recording 2
    SDL_AUDIODRIVER=$2 run_player sh -c 'cd "$1" && exec timeout -s INT "$2" ./demo >/dev/null' \
        sh "$run_dir" "$show_seconds"
    local status=$?
    stop_load_and_recording
    if [ "$status" -ne 124 ]; then
        echo "$1: the show ended with $status before it was stopped: $(cat "$work/play.txt")"
        return 1
    fi
    echo "$1:"
    "$sound_gaps" "$work/rec.raw" $rate | sed 's/^/    /'
    return "${PIPESTATUS[0]}"
}

# The module player openmpt123 playing vorbel through the same server beside
# the same loops, for as long as the show's music played: status 0 when it held.
reference_holds() {
    start_load_and_recording 2
    run_player openmpt123 -q --batch --driver pulseaudio --end-time "$music_seconds" \
        "$run_dir/vorbel.xm"
    local status=$?
    stop_load_and_recording
    [ "$status" -eq 0 ] && "$sound_gaps" --music-only "$work/rec.raw" $rate >/dev/null
}

# Runs "$@" (a name, then a driver) with $how until it is judged: held at the
# first counted run, or broke in one and then held in two more (passes), or
# broke in two counted runs (fails). A broken run beside which the reference
# broke too is not counted.
failed=0
play_with() {
    local how=$1 counted=0 broke=0 spoiled=0
    shift
    while [ $spoiled -lt 3 ]; do
        if "$how" "$@"; then
            counted=$((counted + 1))
        elif ! command -v openmpt123 >/dev/null || reference_holds; then
            counted=$((counted + 1)) broke=$((broke + 1))
            [ $broke -eq 1 ] && echo "$1: broke while openmpt123 held; played again"
        else
            spoiled=$((spoiled + 1))
            echo "$1: broke, and so did openmpt123 beside the same load: not counted"
            continue
        fi
        [ $broke -ge 2 ] || [ $((counted - broke)) -ge $((broke == 0 ? 1 : 2)) ] && break
    done
    echo "$1: $broke of $counted counted runs broke, $spoiled spoiled by the machine's load"
    if [ $broke -ge 2 ]; then
        failed=1
    elif [ $spoiled -ge 3 ]; then
        echo "$1: not judged: the machine's other work broke the reference too, $spoiled times"
    fi
}
play() { play_with play_once "$@"; }
# The whole show in the loops' session still breaks up through a server in a
# session of its own when other work shares the machine (the test command's
# other tests, say): each case is played once and reported, and does not
# fail the test until it holds there too.
play_show() {
    show_once "$@" && echo "$1: held" ||
        echo "$1: broke (reported, not judged: the whole show does not hold yet beside other work)"
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
    play_show "PulseAudio, the whole show in the loops' session" pulseaudio
    checked=1
    server_goes_away
else
    echo "PulseAudio not checked: $server_failure"
fi
if start_pipewire; then
    play "PipeWire, its pulse layer" pulseaudio
    play "PipeWire, SDL's PipeWire driver" pipewire
    play_show "PipeWire, its pulse layer, the whole show in the loops' session" pulseaudio
    play_show "PipeWire, SDL's PipeWire driver, the whole show in the loops' session" pipewire
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
