#!/usr/bin/env bash
# Makes DIR/web/, the show in a web page, from a recording in DIR (demo.cast
# and demo.mp4, as tools/record/record.sh writes them): index.html with a
# poster picture of its own, the compact cast gzipped (the page unpacks it),
# the music as Ogg Opus cut from the video's sound and moved to start with the
# cast's first frame, the video to download and a small one to watch in any
# browser, the player and the font. The folder works from any static file server, e.g.
# `python3 -m http.server -d DIR/web`.
#
# The cast is read whole by cast_check first: one that is cut, edited or not
# the show's is refused, naming its line, before anything is made. The time of
# its first frame and the form of its frames come from the cast's header; a
# cast with whole frames (the recorder's --cast-full) is made compact with
# cast_compact, and the result read by cast_check again. Both programs are by
# default the ones the recorder's script builds. The poster's moment comes
# from the show's timeline, through the timeline program built beside
# cast_check. Any step that fails ends the script with status 1 and nothing
# made.
# The page folder replaces only an earlier page folder, never a file, link or
# device there, through put_in_place, built beside cast_compact.
set -euo pipefail
web=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$web/../.." && pwd)
die() { echo "make_web: $*" >&2; exit 1; }
usage() {
    echo "usage: tools/web/make_web.sh [--cast-check PROGRAM] [--cast-compact PROGRAM]"
    echo "                             [--poster SECONDS] RECORDING_DIR"
    echo "  --poster S   the picture the page shows before playing: S seconds after"
    echo "               the first frame (default: the title card, 15 s into the opening)"
}
checker="$root/build-demo/tools/web/cast_check"
compactor="$root/build-demo/tools/web/cast_compact"
# The title card, from the show's timeline.
poster_moment="opening+15"
poster="" poster_given=0
while [ $# -gt 0 ]; do
    case "$1" in
        --cast-check|--cast-compact|--poster)
            [ $# -ge 2 ] || { { echo "make_web: $1 needs its argument"; usage; } >&2; exit 2; }
            case "$1" in
                --cast-check) checker=$2 ;;
                --cast-compact) compactor=$2 ;;
                --poster) poster=$2 poster_given=1 ;;
            esac
            shift 2 ;;
        -h|--help) usage; exit 0 ;;
        --) shift; break ;;
        -*) { echo "make_web: unknown option $1 (make_web.sh --help lists them)"; usage; } >&2
            exit 2 ;;
        *) break ;;
    esac
done
[ $# -eq 1 ] || { { echo "make_web: takes 1 argument, not $#"; usage; } >&2; exit 2; }
# The poster's moment as the tools take numbers: plain seconds, within the cast checker's range.
if [ "$poster_given" = 1 ] && ! { [[ $poster =~ ^([0-9]+\.?[0-9]*|\.[0-9]+)$ ]] &&
        awk -v p="$poster" 'BEGIN { exit !(p <= 999999) }'; }; then
    { echo "make_web: --poster takes a number from 0 to 999999, not '$poster'"; usage; } >&2
    exit 2
fi
rec=$1
for f in demo.cast demo.mp4; do
    [ -s "$rec/$f" ] || die "$rec/$f is missing or empty"
done
out="$rec/web"
placer="$(dirname "$compactor")/../output_guard/put_in_place"
[ -x "$placer" ] || die "$placer is missing (it is built with cast_compact)"
refused=$("$placer" --folder --check "$out" 2>&1) || die "$refused"
[ -x "$checker" ] || die "$checker is missing (build it, or name it with --cast-check)"

if [ -z "$poster" ]; then
    timeline="$(dirname "$checker")/../timeline/timeline"
    [ -x "$timeline" ] || die "$timeline is missing (it is built with cast_check)"
    poster=$("$timeline" --at "$poster_moment") || exit 1
fi

# The cast whole and valid, or nothing made.
facts=$("$checker" --poster "$poster" "$rec/demo.cast") || exit 1
fact() { sed -n "s/^$1 //p" <<<"$facts"; }
first=$(fact first_frame) frames=$(fact frames) length=$(fact length)
[ -n "$first" ] && [ -n "$length" ] && { [ "$frames" = compact ] || [ "$frames" = full ]; } ||
    die "$checker did not say what the cast holds"
# The video runs from the first frame to the show's end, and the music is
# moved by the first frame's time: a first frame later than the video is long,
# or a cast much longer than the video, is not this recording's.
video=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$rec/demo.mp4") ||
    die "$rec/demo.mp4 is not a video ffprobe can read"
awk -v f="$first" -v v="$video" 'BEGIN { exit !(f <= v) }' ||
    die "$rec/demo.cast has its first frame at $first s, past the recording's $video s of video"
awk -v f="$first" -v l="$length" -v v="$video" 'BEGIN { exit !(l - f <= v + 1) }' ||
    die "$rec/demo.cast ends at $length s, its first frame at $first s: far longer than the $video s of video"
delay_ms=$(awk -v t="$first" 'BEGIN { printf "%d", t * 1000 + 0.5 }')

font=/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf
[ -f "$font" ] || die "$font is missing (Debian's fonts-dejavu-core)"
"$web/setup.sh"

# Made beside the old folder and put in its place whole; however this ends,
# the half-made folder goes.
tmp=$(mktemp -d "$rec/.web.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
trap 'exit 130' INT; trap 'exit 143' TERM; trap 'exit 129' HUP
mkdir -p "$tmp/player" "$tmp/font"
# The video to watch in any browser: the terminal's own 640x400 (the
# recording's 1280x800 draws each of its pixels four times), H.264 with its
# index at the front so that it plays while it loads, the sound in AAC at
# 96 kbit/s: about 7 MB for the whole show (x264's slowest search finds the
# scenes' repeats and halves the size of a quicker one at the same quality).
# MAKE_WEB_QUICK=1 (the page's test) takes x264's quickest search instead.
preset=veryslow
[ "${MAKE_WEB_QUICK-}" != 1 ] || preset=ultrafast
ffmpeg -nostdin -v error -y -i "$rec/demo.mp4" -vf "scale=iw/2:ih/2:flags=neighbor" \
    -c:v libx264 -preset "$preset" -tune animation -crf 32 -pix_fmt yuv420p -fps_mode passthrough \
    -c:a aac -b:a 96k -movflags +faststart "$tmp/demo-web.mp4" || die "ffmpeg could not make the small video"
megabytes() { du -k --apparent-size "$1" | awk '{ m = $1 / 1024; printf(m < 10 ? "%.1f MB" : "%.0f MB", m) }'; }
fact poster >"$tmp/poster"
awk -v size="$(megabytes "$rec/demo.mp4")" -v small="$(megabytes "$tmp/demo-web.mp4")" \
    -v posterfile="$tmp/poster" '
    /@POSTER@/ { getline poster < posterfile; k = index($0, "\"\"")
                 $0 = substr($0, 1, k - 1) poster substr($0, k + 2) }
    { gsub(/@VIDEO_SIZE@/, size); gsub(/@SMALL_VIDEO_SIZE@/, small); print }' \
    "$web/index.html" >"$tmp/index.html"
rm "$tmp/poster"
cp "$web/vga.css" "$tmp/"
player="$web/node_modules/asciinema-player"
cp "$player/dist/bundle/asciinema-player.min.js" "$player/dist/bundle/asciinema-player.css" \
   "$player/LICENSE" "$tmp/player/"
cp "$font" "$tmp/font/"
cp /usr/share/doc/fonts-dejavu-core/copyright "$tmp/font/LICENSE"
if [ "$frames" = full ]; then
    [ -x "$compactor" ] || die "$rec/demo.cast has whole frames and $compactor is missing"
    "$compactor" "$rec/demo.cast" "$tmp/demo.cast" ||
        die "cast_compact could not make $rec/demo.cast compact"
    # What the page plays is read as cast_check reads it: a compact cast it
    # refuses would leave a page that never plays.
    said=$("$checker" "$tmp/demo.cast" 2>&1 >/dev/null) ||
        die "the compact cast made of $rec/demo.cast is refused: ${said#*demo.cast: }"
    gzip -9 -n "$tmp/demo.cast"
else
    gzip -9 -n -c "$rec/demo.cast" >"$tmp/demo.cast.gz"
fi
# The video beside the page, to download: a second name for the same file
# where the folder allows it.
ln "$rec/demo.mp4" "$tmp/demo.mp4" 2>/dev/null || cp "$rec/demo.mp4" "$tmp/demo.mp4"
ffmpeg -nostdin -v error -y -i "$rec/demo.mp4" -vn -af "adelay=${delay_ms}:all=1" \
    -c:a libopus -b:a 96k -ar 48000 -f ogg "$tmp/demo.ogg" || die "ffmpeg could not cut the sound"
chmod 755 "$tmp"
refused=$("$placer" "$tmp" "$out" 2>&1) || die "$refused"
trap - EXIT
echo "make_web: $out (sound delayed by $delay_ms ms)"
