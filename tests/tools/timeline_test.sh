#!/usr/bin/env bash
# The moments the scripts photograph, record and cut the show at, each within
# its scene of the show's timeline; and the timeline program's reading of them.
#   timeline_test.sh TIMELINE
set -uo pipefail
timeline=$1
root=$(cd "$(dirname "$0")/../.." && pwd)
failed=0
fail() { echo "FAIL $*"; failed=1; }

# A script's list of moments, as it is assigned (a backslash continues a line).
list_of() {
    awk -v name="$2" '{ while (/\\$/) { sub(/\\$/, ""); getline more; $0 = $0 more } }
        index($0, name "=\"") == 1 { sub(/^[^"]*"/, ""); sub(/".*/, ""); print; exit }' "$1"
}
for found in tools/terminals/terminals.sh:moments tools/record/gallery.sh:moments \
             tools/record/gallery.sh:clips tools/web/make_web.sh:poster_moment; do
    script=${found%:*} name=${found#*:}
    list=$(list_of "$root/$script" "$name")
    if [ -z "$list" ]; then
        fail "$script: no $name list found"
    elif said=$("$timeline" --at "$list" 2>&1); then
        echo "ok   $script: $name within their scenes: $said"
    else
        fail "$script: $name: $said"
    fi
done

# Seconds after the scene's latest beginning (the fireworks vary by 2.16 s),
# labels kept; a moment past its scene, a stretch into the next, an unknown
# scene and a bad number refused with status 1; the end's stretch may run on.
expect() {
    local got status
    got=$("$timeline" --at "$1" 2>&1)
    status=$?
    if [ "$status" != "$2" ] || [[ "$got" != $3 ]]; then
        fail "--at $1: status $status, \"$got\" (wanted $2, \"$3\")"
    fi
}
expect "a@opening+15,worms+1:2,end:3" 0 "a@15,98.2965:2,156.1365:3"
expect "ching+7.3" 1 '*"ching+7.3": falls outside ching, which is on screen for sure for 7.3 s*'
expect "munching+3:1" 1 '*falls outside munching*'
expect "fire,firework" 1 '*no scene is called "firework"*'
expect "fire+-1" 1 '*numbers of 0 or more*'
exit $failed
