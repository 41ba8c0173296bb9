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
#   tools/terminals/terminals.sh --table DIR[,DIR...] [--only NAME,...]
#
# It builds the show and the check into build-demo/ as the run command does;
# --build DIR takes them from a build folder made before. --out keeps each
# emulator's photographs (PNG), logs and findings in DIR/NAME (default: a
# temporary folder, removed); --for plays only the first SECONDS of the show;
# --only picks emulators by the names in the table; --table prints the table
# of earlier runs kept with --out DIR again, over all of them when several are
# named: the cells of every photograph, and the blocked times, the load and
# the frames a second as the range over the runs.
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

out="" only="" stop_after=0 slow=0 build="" table_only=0 runs=""
while [ $# -gt 0 ]; do
    case "$1" in
        --out|--for|--only|--table|--build)
            [ $# -ge 2 ] || { echo "terminals.sh: $1 needs its argument" >&2; exit 2; } ;;&
        --out) out=$(realpath -m -- "$2"); shift 2 ;;
        --for) stop_after=$2; shift 2 ;;
        --only) only=",$2,"; shift 2 ;;
        --slow-reader) slow=1; shift ;;
        --table) runs=$2; table_only=1; shift 2 ;;
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

# A run without --out plays into a temporary folder, removed at the end;
# --table only reads the folders it is given.
if [ "$table_only" = 0 ]; then
    if [ -z "$out" ]; then
        out=$(mktemp -d)
        trap 'rm -rf "$out"' EXIT
    fi
    mkdir -p "$out"
fi
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

# What a person choosing an emulator meets beyond the counts, as seen on the
# photographs of the runs of 8 December 2026 (the bold ink and the default
# paper are read from each run's own test card below).
seen_on_photographs() {
    case "$1" in
        alacritty) echo "soft palette: white on pale blue paper, low contrast" ;;
        xfce4-terminal) printf '%s\n' "menu bar above, scrollbar beside the picture" \
                                "overline after the worms" ;;
        konsole) printf '%s\n' "toolbar above, scrollbar beside the picture" "overline after the worms" \
                         "raw 38;48 as the default colours" ;;
        mlterm) printf '%s\n' "scrollbar beside the picture" "overline after the worms" ;;
    esac
}

# Notes from an emulator's test card (its palette line): how it draws bold
# ink, and a light default paper, which shows below the picture's 24 rows.
card_notes() {
    awk '$1 == "palette" {
             split($3, red, "/"); split($11, bold, "/"); split($20, dflt, "/")
             if (bold[1] == red[1]) print "bold in the plain ink (bold # on its paper melts into blocks)"
             else if (brighter(bold[1], red[1])) print "bold as bright ink"
             else print "bold ink of its own (red " red[1] ", bold red " bold[1] ")"
             if (channel(dflt[2], 1) + channel(dflt[2], 3) + channel(dflt[2], 5) > 3 * 128)
                 print "white default paper below the picture"
             exit }
         function channel(hex, i,   d) {
             d = "0123456789abcdef"
             return (index(d, substr(hex, i, 1)) - 1) * 16 + index(d, substr(hex, i + 1, 1)) - 1 }
         # Every channel at least as bright, and one brighter.
         function brighter(a, b,   i) {
             for (i = 1; i <= 5; i += 2) if (channel(a, i) < channel(b, i)) return 0
             return a != b }' "$1/result"
}

# The lines on standard input that say something, joined by "; ".
join_notes() { awk 'NF { printf "%s%s", n++ ? "; " : "", $0 }'; }

# "low-high" of the numbers on standard input, or the one number.
range() {
    sort -g | awk 'NR == 1 { low = $1 } { high = $1 }
                   END { if (NR == 0) print "-"; else if (low == high) print low; else print low "-" high }'
}

# One line of the table from an emulator's findings in each run folder.
table_line() {
    local name=$1 pkg=$2 dirs=() failed=() d run=0 version matched="-" note
    for d in "${run_dirs[@]}"; do
        run=$((run + 1))
        [ -d "$d/$name" ] || continue
        if [ -e "$d/$name/failed" ] || [ ! -e "$d/$name/result" ]; then
            failed+=("run $run: $(cat "$d/$name/failed" 2>/dev/null || echo "not installed")")
        else
            dirs+=("$d/$name")
            [[ "$(field "$d/$name" card)" == grid* ]] ||
                failed+=("run $run: $(field "$d/$name" card)")
        fi
    done
    [ ${#dirs[@]} -gt 0 ] || [ ${#failed[@]} -gt 0 ] || return 0
    version=$(dpkg-query -W -f='${Version}' "$pkg" 2>/dev/null || echo "-")
    note=$(printf '%s\n' "${failed[@]}" | join_notes)
    if [ ${#dirs[@]} -eq 0 ]; then
        printf '| %s | %s | - | - | - | - | - | - | - | %s |\n' "$name" "$version" "$note"
        return
    fi
    local results=("${dirs[@]/%//result}") loads=("${dirs[@]/%//load}")
    matched=$(awk '$1 == "shot" && $5 == "matched" { m += $6; n += $8; k++
                    s = 100 * $6 / $8; if (low == "" || s < low) { low = s; at = $2 } }
                   END { if (n && m == n) printf "100%% (all %d whole)", k
                         else if (n) printf "%.1f%% (lowest %.1f%% at %d s)", 100 * m / n, low, at }' \
                   "${results[@]}")
    [ -n "$matched" ] || matched="-"
    blocked() { for d in "${dirs[@]}"; do field "$d" "$1"; done | range; }
    local load fps exits card
    load=$(sed -n 's/^load before: \([0-9.]*\).*/\1/p' "${loads[@]}" | range)
    fps=$(for d in "${dirs[@]}"; do
              awk -v f="$(field "$d" frames)" -v s="$(field "$d" frames_s)" \
                  'BEGIN { printf "%.1f\n", (s > 0 ? f / s : 0) }'
          done | range)
    exits=$(for d in "${dirs[@]}"; do field "$d" exit; done | sort -u | paste -sd/)
    for d in "${dirs[@]}"; do
        [[ "$(field "$d" card)" == grid* ]] && { card=$(card_notes "$d"); break; }
    done
    note=$(printf '%s\n' "${card-}" "$(seen_on_photographs "$name")" "${failed[@]}" | join_notes)
    printf '| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |\n' "$name" "$version" "$matched" \
        "$(blocked blocked_median_ms)" "$(blocked blocked_p99_ms)" "$(blocked blocked_max_ms)" \
        "$load" "$fps" "$exits" "$note"
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
    run_dirs=("$out")
else
    IFS=, read -r -a run_dirs <<<"$runs"
    for d in "${!run_dirs[@]}"; do
        run_dirs[$d]=$(realpath -m -- "${run_dirs[$d]}")
        echo "run $((d + 1)): $(paste -sd' ' "${run_dirs[$d]}/load" 2>/dev/null)"
    done
    out=${run_dirs[0]}
fi
echo
echo "| terminal | version | cells matching | blocked median ms | p99 ms | longest ms | load | frames/s | exit | note |"
echo "|---|---|---|---|---|---|---|---|---|---|"
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
