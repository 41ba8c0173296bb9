#!/usr/bin/env bash
# Remakes the README's gallery, docs/gallery/*.png, from one real run of the
# show: a still of each scene at a moment well inside it.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
moments="01-opening@3,02-cards@15,03-ching@25,04-signals@39,05-signal-cards@43,06-vortex@51,\
07-moonwalk@61,08-fire@79,09-fireworks@89,10-worms@103,11-spinning@111,12-munching@119,\
13-plasma@127,14-scroller@139,15-end@157"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
"$root/tools/record/record.sh" --out "$out" --stills "$moments"
mkdir -p "$root/docs/gallery"
rm -f "$root"/docs/gallery/*.png
for f in "$out"/[0-9]*.png; do
    cp "$f" "$root/docs/gallery/"
done
