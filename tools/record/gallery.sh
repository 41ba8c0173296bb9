#!/usr/bin/env bash
# Remakes the README's gallery, docs/gallery/*.png, from one real run of the
# show: a still of each scene at a moment well inside it; and the moving
# picture at the top of the README, docs/demo.webp: a few seconds of every
# scene in the order the show plays them, from the same run's video, in the
# 16 VGA colours.
#   tools/record/gallery.sh [--from DIR]
# With --from, DIR is a recording already made with the gallery's stills
# (record.sh --stills as below) and the show is not run again.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/timeline.sh"
# A still of each scene, named by the scene it shows and the seconds into it
# (after its latest beginning), which the show's timeline turns into seconds
# from the first frame.
moments="01-opening@opening+3,02-cards@opening+15,03-ching@ching+4.25,04-signals@signals+11,\
05-signal-cards@signals+13.8,06-vortex@vortex+8,07-moonwalk@moonwalk+5.2,08-fire@fire+9.5,\
09-fireworks@fireworks+5,10-worms@worms+5.7,11-spinning@spinning+4.45,12-munching@munching+3.05,\
13-plasma@plasma+5.05,14-scroller@scroller+7.3,15-end@end+0.2"
from=""
case "${1-}" in
    --from) [ $# -eq 2 ] || { echo "usage: tools/record/gallery.sh [--from DIR]" >&2; exit 2; }
            from=$2 ;;
    "") ;;
    *) echo "usage: tools/record/gallery.sh [--from DIR]" >&2; exit 2 ;;
esac
moments=$(show_moments "$root/build-demo" "$moments")
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
if [ -n "$from" ]; then
    rec=$from
    for m in ${moments//,/ }; do
        [ -f "$rec/${m%@*}.png" ] || { echo "gallery: $rec/${m%@*}.png is missing" >&2; exit 1; }
    done
    [ -s "$rec/demo.mp4" ] || { echo "gallery: $rec/demo.mp4 is missing" >&2; exit 1; }
else
    rec=$out
    "$root/tools/record/record.sh" --out "$rec" --stills "$moments"
fi
mkdir -p "$root/docs/gallery"
rm -f "$root"/docs/gallery/*.png
for m in ${moments//,/ }; do
    cp "$rec/${m%@*}.png" "$root/docs/gallery/"
done

# Stretches of the video (a scene, the seconds into it and a length), one of
# each scene in the show's order, put one after the other at 640x400 and 50/3
# frames a second, each pixel snapped to the nearest VGA colour (undoing the
# video's compression), as a lossless animated WebP: the whole show in about
# 40 s and under 3 MB.
clips="opening+1:3.5,opening+13:3,ching+2.25:3,signals+8.95:2.5,signals+13:2,vortex+6:3,\
moonwalk+3.2:3,fire+7.55:2.5,fireworks+3:3,worms+3.7:3,spinning+2.45:2.5,munching+1.05:2.5,\
plasma+3.05:2.5,scroller+5.3:3,end:3"
clips=$(show_moments "$root/build-demo" "$clips")
{
    printf 'P6\n16 16\n255\n'
    for _ in $(seq 16); do
        for c in 000000 aa0000 00aa00 aa5500 0000aa aa00aa 00aaaa aaaaaa \
                 555555 ff5555 55ff55 ffff55 5555ff ff55ff 55ffff ffffff; do
            printf "\\x${c:0:2}\\x${c:2:2}\\x${c:4:2}"
        done
    done
} >"$out/vga.ppm"
graph="" inputs=""
n=0
for c in ${clips//,/ }; do
    graph+="[0:v]trim=${c%:*}:duration=${c#*:},setpts=PTS-STARTPTS[c$n];"
    inputs+="[c$n]"
    n=$((n + 1))
done
graph+="${inputs}concat=n=$n:v=1,fps=50/3,scale=640:400:flags=area[x];[x][1:v]paletteuse=dither=none"
ffmpeg -nostdin -v error -y -i "$rec/demo.mp4" -i "$out/vga.ppm" -filter_complex "$graph" \
    -an -c:v ffv1 "$out/clip.mkv"
ffmpeg -nostdin -v error -y -i "$out/clip.mkv" -c:v libwebp_anim -lossless 1 -compression_level 6 \
    -loop 0 "$out/demo.webp"
cp "$out/demo.webp" "$root/docs/demo.webp"
