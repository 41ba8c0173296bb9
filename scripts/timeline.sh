# The show's moments for the scripts that photograph, record or cut it, from
# the table the show's driver plays its scenes by (src/show/timeline.h),
# through the timeline program. Sourced by tools/record/gallery.sh,
# tools/web/make_web.sh and tools/terminals/terminals.sh.
#
# show_moments BUILD_DIR MOMENT,... prints each MOMENT ([LABEL@]SCENE[+SECONDS]
# [:LENGTH], see `timeline --help`) as seconds from the show's first frame,
# comma-separated, building the program into BUILD_DIR first when it is
# missing or older than the table (configuring BUILD_DIR as the tools' scripts
# do when it is not yet). A moment that may fall outside its scene fails.
show_moments() {
    local build=$1 list=$2 root program log
    root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
    program="$build/tools/timeline/timeline"
    if [ ! -x "$program" ] || [ "$root/src/show/timeline.h" -nt "$program" ]; then
        mkdir -p "$build"
        log="$build/timeline-build.log"
        # A folder the run command configured holds the show alone: its
        # tools are switched on, nothing else of it is changed.
        local configure=(-DDEMO_TOOLS=ON)
        [ -f "$build/CMakeCache.txt" ] || configure+=(-DCMAKE_BUILD_TYPE=Release -DDEMO_TESTS=OFF)
        grep -qx 'DEMO_TOOLS:BOOL=ON' "$build/CMakeCache.txt" 2>/dev/null && configure=()
        { { [ ${#configure[@]} -eq 0 ] || cmake -S "$root" -B "$build" "${configure[@]}"; } &&
          cmake --build "$build" --target timeline; } >"$log" 2>&1 || { cat "$log" >&2; return 1; }
    fi
    "$program" --at "$list"
}
