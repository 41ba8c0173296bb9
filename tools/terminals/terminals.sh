#!/usr/bin/env bash
# Plays the show in every terminal emulator of the list that is installed,
# each in an X display of its own (Xvfb, 1280x800) at 80x25 with DejaVu Sans
# Mono 12, and prints a table: how many of the cells photographed at set
# moments show the paper and ink the recorder's terminal holds, how long the
# show's frames stay blocked writing to the emulator, and how the show ended.
# Takes about three minutes an emulator (the whole show at real speed).
#
#   tools/terminals/terminals.sh [--out DIR] [--for SECONDS] [--only NAME,...] [--build DIR]
#   tools/terminals/terminals.sh --slow-reader [--out DIR] [--for SECONDS] [--build DIR]
#   tools/terminals/terminals.sh --table DIR [--only NAME,...]
#
# It builds the show and the check into build-demo/ as the run command does;
# --build DIR takes them from a build folder made before. --out keeps each
# emulator's photographs (PNG), logs and findings in DIR/NAME (default: a
# temporary folder, removed); --for plays only the first SECONDS of the show;
# --only picks emulators by the names in the table; --table prints the table
# of an earlier run kept with --out DIR again.
# --slow-reader plays the show twice at the same time without an emulator,
# once read as fast as it comes and once by a reader that takes it at
# 100 KB/s, a seventh of what the show prints, and prints for both the show's
# length and the moments its wipes began to be printed.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)

# name, Debian package, program
emulators="xterm:xterm:xterm rxvt-unicode:rxvt-unicode:urxvt st:stterm:stterm
alacritty:alacritty:alacritty kitty:kitty:kitty xfce4-terminal:xfce4-terminal:xfce4-terminal
konsole:konsole:konsole mlterm:mlterm:mlterm"
font="DejaVu Sans Mono"
# A moment well inside each scene (seconds after its latest beginning), which
# the show's timeline turns into seconds from the first frame.
moments="opening+3,opening+15,ching+4.25,signals+11,signals+13.8,vortex+8,moonwalk+5.2,fire+9.5,\
fireworks+5,worms+5.7,spinning+4.45,munching+3.05,plasma+5.05,scroller+7.3,end+0.2"

out="" only="" stop_after=0 slow=0 build="" table_only=0
while [ $# -gt 0 ]; do
    case "$1" in
        --out|--for|--only|--table|--build)
            [ $# -ge 2 ] || { echo "terminals.sh: $1 needs its argument" >&2; exit 2; } ;;&
        --out) out=$(realpath -m -- "$2"); shift 2 ;;
        --for) stop_after=$2; shift 2 ;;
        --only) only=",$2,"; shift 2 ;;
        --slow-reader) slow=1; shift ;;
        --table) out=$(realpath -m -- "$2"); table_only=1; shift 2 ;;
        --build) build=$(realpath -m -- "$2"); shift 2 ;;
        -h|--help) sed -n '2,24s/^# \{0,1\}//p' "$0"; exit 0 ;;
        *) echo "terminals.sh: unknown option $1 (--help lists them)" >&2; exit 2 ;;
    esac
done
[[ "$stop_after" =~ ^[0-9]+$ ]] || { echo "terminals.sh: --for takes whole seconds" >&2; exit 2; }

if [ "$table_only" = 0 ]; then
    . "$root/scripts/packages.sh"
    # shellcheck disable=SC2086
    ensure_packages $demo_packages $terminal_packages
fi

if [ -z "$build" ] && [ "$table_only" = 0 ]; then
    echo "Building the demo and the check ..." >&2
    build="$root/build-demo"
    mkdir -p "$build"
    { cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DDEMO_TOOLS=ON -DDEMO_TESTS=OFF &&
      cmake --build "$build" -j"$(nproc)" --target demo run_grafik music terminal_check timeline; } \
        >"$build/terminals-build.log" 2>&1 || { cat "$build/terminals-build.log"; exit 1; }
fi
check="$build/tools/terminals/terminal_check"
if [ "$table_only" = 0 ]; then
    . "$root/scripts/timeline.sh"
    moments=$(show_moments "$build" "$moments")
fi
run_dir="$build/run"

if [ -z "$out" ]; then
    out=$(mktemp -d)
    trap 'rm -rf "$out"' EXIT
fi
mkdir -p "$out"
export SDL_AUDIODRIVER=dummy
load() { cut -d' ' -f1-3 /proc/loadavg; }
field() { sed -n "s/^$2 //p" "$1/result" 2>/dev/null | head -1; }

if [ "$slow" = 1 ]; then
    # Both readers at once, so that the machine's load weighs on both alike.
    limit=()
    [ "$stop_after" -gt 0 ] && limit=(--for "$stop_after")
    echo "load before: $(load)"
    for reader in fast slow; do
        mkdir -p "$out/$reader"
        rate=0
        [ "$reader" = slow ] && rate=100000
        "$check" --run-dir "$run_dir" --out "$out/$reader" --read-rate "$rate" "${limit[@]}" \
            >/dev/null &
    done
    wait
    echo "load after: $(load)"
    for reader in fast slow; do
        printf '%s reader: show %.2f s, first to last frame %.2f s, %s frames, exit %s\n' \
            "$reader" "$(field "$out/$reader" length_s)" "$(field "$out/$reader" frames_s)" \
            "$(field "$out/$reader" frames)" "$(field "$out/$reader" exit)"
        printf '  blocked per frame: median %s ms, p99 %s ms, longest %s ms\n' \
            "$(field "$out/$reader" blocked_median_ms)" "$(field "$out/$reader" blocked_p99_ms)" \
            "$(field "$out/$reader" blocked_max_ms)"
        echo "  wipes at (s from start): $(field "$out/$reader" wipes)"
    done
    exit 0
fi

# The command each emulator runs, and the emulator's own command line.
emulator_command() {
    local relay=("$check" --run-dir "$run_dir" --out "$1" --at "$moments")
    [ "$stop_after" -gt 0 ] && relay+=(--for "$stop_after")
    case "$2" in
        xterm) cmd=(xterm -geometry 80x25+0+0 -fa "$font" -fs 12 -e "${relay[@]}") ;;
        rxvt-unicode) cmd=(urxvt -geometry 80x25+0+0 -fn "xft:$font:size=12" -e "${relay[@]}") ;;
        st) cmd=(stterm -g 80x25+0+0 -f "$font:size=12" -e "${relay[@]}") ;;
        alacritty)
            cmd=(alacritty -o "font.normal.family=\"$font\"" -o font.size=12
                 -o window.dimensions.columns=80 -o window.dimensions.lines=25 -e "${relay[@]}") ;;
        kitty)
            cmd=(kitty -o "font_family=$font" -o font_size=12 -o initial_window_width=80c
                 -o initial_window_height=25c -o remember_window_size=no "${relay[@]}") ;;
        xfce4-terminal)
            cmd=(dbus-run-session xfce4-terminal --disable-server --geometry=80x25+0+0
                 --font="$font 12" -x "${relay[@]}") ;;
        konsole)
            cmd=(konsole --nofork --hide-menubar --hide-tabbar -p TerminalColumns=80
                 -p TerminalRows=25 -p "Font=$font,12" -e "${relay[@]}") ;;
        mlterm)
            # mlterm takes its anti-aliased font from a file; -w is in pixels (12 points at 96 dpi).
            mkdir -p "$1/home/.mlterm"
            echo "DEFAULT=$font" >"$1/home/.mlterm/aafont"
            cmd=(mlterm -g 80x25+0+0 --type=xft -w 16 -e "${relay[@]}") ;;
    esac
}

# The last line of the emulator's log that says something, for why it did not start.
why_not() {
    grep -v '^\s*$' "$1/emulator.log" 2>/dev/null | tail -1 | cut -c1-100
}

play_in() {
    local name=$1 dir=$out/$1 display="" xvfb epid status=0 waited=0 limit
    mkdir -p "$dir/home" "$dir/runtime"
    chmod 700 "$dir/runtime"
    emulator_command "$dir" "$name"
    # Xvfb picks a free display and says which on the descriptor it is given.
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -br +extension GLX \
        3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
    xvfb=$!
    while [ -z "$display" ] && [ $waited -lt 100 ] && kill -0 $xvfb 2>/dev/null; do
        sleep 0.1
        waited=$((waited + 1))
        display=$(cat "$dir/display")
    done
    if [ -z "$display" ]; then
        echo "Xvfb did not start: $(tail -1 "$dir/xvfb.log")" >"$dir/failed"
        kill $xvfb 2>/dev/null || true
        return
    fi
    echo "load before: $(load)" >"$dir/load"
    DISPLAY=":$display" HOME="$dir/home" XDG_CONFIG_HOME="$dir/home/.config" \
        XDG_RUNTIME_DIR="$dir/runtime" "${cmd[@]}" >"$dir/emulator.log" 2>&1 &
    epid=$!
    # The whole show, the test card and the photographs, and a margin for a loaded machine.
    limit=$((stop_after > 0 ? stop_after + 90 : 300))
    waited=0
    while kill -0 $epid 2>/dev/null && [ $waited -lt $((limit * 10)) ]; do
        # An emulator that keeps its window open once the show is over is closed here.
        [ -e "$dir/result" ] && [ $waited -gt 0 ] && { sleep 5; break; }
        sleep 0.1
        waited=$((waited + 1))
    done
    if kill -0 $epid 2>/dev/null; then
        [ -e "$dir/result" ] || echo "no result within $limit s" >"$dir/failed"
        kill $epid 2>/dev/null || true
    fi
    wait $epid || status=$?
    echo "load after: $(load)" >>"$dir/load"
    # Without its display every client ends.
    kill $xvfb 2>/dev/null || true
    wait $xvfb 2>/dev/null || true
    if [ ! -e "$dir/started" ] && [ ! -e "$dir/failed" ]; then
        echo "exited with status $status: $(why_not "$dir")" >"$dir/failed"
    elif [ ! -e "$dir/result" ] && [ ! -e "$dir/failed" ]; then
        echo "ended with status $status before the show did: $(why_not "$dir")" >"$dir/failed"
    fi
    for f in "$dir"/*.xwd "$dir"/*.ppm; do
        if [ -e "$f" ]; then
            convert "$f" "png:${f%.*}.png"
            rm -f "$f"
        fi
    done
}

# One line of the table from an emulator's findings.
table_line() {
    local name=$1 pkg=$2 dir=$out/$1 version matched="-" note="" cells
    [ -d "$dir" ] || return 0
    version=$(dpkg-query -W -f='${Version}' "$pkg" 2>/dev/null || echo "-")
    if [ -e "$dir/failed" ] || [ ! -e "$dir/result" ]; then
        note=$(cat "$dir/failed" 2>/dev/null || echo "not installed")
        printf '| %s | %s | - | - | - | - | - | - | %s |\n' "$name" "$version" "$note"
        return
    fi
    cells=$(awk '$1 == "shot" && $5 == "matched" { m += $6; n += $8; k++
                  s = 100 * $6 / $8; if (low == "" || s < low) { low = s; at = $2 } }
                 END { if (n && m == n) printf "100%% (all %d whole)", k
                       else if (n) printf "%.1f%% (lowest %.1f%% at %d s)", 100 * m / n, low, at }' \
                 "$dir/result")
    [ -n "$cells" ] && matched=$cells
    note=$(field "$dir" card)
    [[ "$note" == grid* ]] && note=""
    printf '| %s | %s | %s | %s | %s | %s | %.1f | %s | %s |\n' "$name" "$version" "$matched" \
        "$(field "$dir" blocked_median_ms)" "$(field "$dir" blocked_p99_ms)" \
        "$(field "$dir" blocked_max_ms)" \
        "$(awk -v f="$(field "$dir" frames)" -v s="$(field "$dir" frames_s)" \
            'BEGIN { print (s > 0 ? f / s : 0) }')" "$(field "$dir" exit)" "$note"
}

if [ "$table_only" = 0 ]; then
    echo "load at the start: $(load)" | tee "$out/load"
    for e in $emulators; do
        IFS=: read -r name pkg program <<<"$e"
        [ -z "$only" ] || [[ "$only" == *",$name,"* ]] || continue
        rm -rf "${out:?}/$name"
        mkdir -p "$out/$name"
        if ! command -v "$program" >/dev/null; then
            echo "not installed" >"$out/$name/failed"
            continue
        fi
        echo "Playing the show in $name ..." >&2
        play_in "$name"
    done
    echo "load at the end: $(load)" | tee -a "$out/load"
else
    cat "$out/load" 2>/dev/null || true
fi
echo
echo "| terminal | version | cells matching | blocked median ms | p99 ms | longest ms | frames/s | exit | note |"
echo "|---|---|---|---|---|---|---|---|---|"
for e in $emulators; do
    IFS=: read -r name pkg program <<<"$e"
    [ -z "$only" ] || [[ "$only" == *",$name,"* ]] || continue
    table_line "$name" "$pkg"
done
echo
# What each emulator made of the raw colour codes, and its colours.
for e in $emulators; do
    IFS=: read -r name pkg program <<<"$e"
    [ -z "$only" ] || [[ "$only" == *",$name,"* ]] || continue
    [ -e "$out/$name/result" ] || continue
    raw=$(awk '$1 == "raw" { c = $2; $1 = ""; $2 = ""; sub(/^ +/, "")
               printf "%s%d;%d %s", sep, 30 + c, 40 + c, $0; sep = ", " }' "$out/$name/result")
    echo "$name: paper of the raw codes after white on blue: ${raw:-not read}"
    awk '$1 == "palette" { split($3, r, "/"); split($11, br, "/"); split($18, di, "/")
             split($19, db, "/"); split($20, dp, "/")
             printf "  red ink %s, bold red ink %s; default ink %s (bold %s) on paper %s\n",
                 r[1], br[1], di[1], db[1], dp[2] }' "$out/$name/result"
    awk '$1 == "shot" { printf "  %s s: %s", $2, $5 == "matched" ? $6 "/" $8 : $0; n++
             printf n % 5 ? ";" : "\n" } END { if (n % 5) print "" }' "$out/$name/result"
done
