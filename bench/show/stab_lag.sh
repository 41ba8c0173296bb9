#!/usr/bin/env bash
# Records the show's opening with the recorder, at real speed as a person sees
# it, and prints how long after each of the five blip cards (cards 2 to 6) its
# stab sounds in the recording: the card's time is that of the first frame in
# the cast that shows it, the stab's the first sample of the video's sound
# from the card on that reaches -30 dBFS after silence. Then the largest lag,
# the spread of the five, and the load average.
#
#   bench/show/stab_lag.sh [BUILD_DIR [RUNS]]
#
# BUILD_DIR (default: build) is configured already; the show, the recorder and
# the modules are built in it. RUNS recordings (default 3), one after another.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath -m -- "${1:-$root/build}")
runs=${2:-3}
. "$root/scripts/packages.sh"
ensure_packages $stab_lag_packages

echo "Building the show and the recorder in $build ..." >&2
nice -n 19 cmake --build "$build" -j"$(nproc)" --target demo record music run_grafik >/dev/null

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# The opening's cards end 13 s in; the recorder takes the show's end as the
# recording's end, so the show is ended after 16 s.
cat >"$tmp/opening" <<WRAP
#!/usr/bin/env bash
timeout -s TERM 16 "$build/run/demo"
exit 0
WRAP
chmod +x "$tmp/opening"

for ((run = 1; run <= runs; run++)); do
    load=$(cut -d' ' -f1-3 /proc/loadavg)
    rm -rf "$tmp/out" && mkdir "$tmp/out"
    "$build/tools/record/record" --out "$tmp/out" --run-dir "$build/run" --demo "$tmp/opening" \
        --preset ultrafast --cast-full >"$tmp/record.log" 2>&1 || { cat "$tmp/record.log" >&2; exit 1; }
    ffmpeg -v error -y -i "$tmp/out/demo.mp4" -map 0:a -f s16le -ac 1 -ar 32000 "$tmp/sound.raw"
    start=$(ffprobe -v error -select_streams a -show_entries stream=start_time -of csv=p=0 \
        "$tmp/out/demo.mp4")
    python3 - "$tmp/out/demo.cast" "$tmp/sound.raw" "$start" "$root/grafik" "$run" "$load" <<'PY'
import array, json, re, sys

cast, sound, start, grafik, run, load = sys.argv[1:]
RATE = 32000
LOUD = 1036   # -30 dBFS
QUIET = 328   # -40 dBFS: what 25 ms up to 5 ms before a stab must stay under

def rows(text):
    return [r.strip() for r in text.split("\n") if r.strip()]

cards = {k: rows(open(f"{grafik}/intro{k}", encoding="latin-1").read()) for k in range(2, 7)}
csi = re.compile(r"\x1b\[[0-9;?]*[A-Za-z]")
with open(cast, encoding="utf-8") as f:
    first_frame = json.loads(f.readline())["first_frame"]
    shown = {}
    for line in f:
        t, _, text = json.loads(line)
        picture = rows(csi.sub("", text).replace("\r", ""))
        for k, card in cards.items():
            if k not in shown and picture == card:
                shown[k] = t - first_frame
if len(shown) != 5:
    sys.exit(f"run {run}: cards {sorted(set(cards) - set(shown))} not found in the cast")

samples = array.array("h")
with open(sound, "rb") as f:
    samples.frombytes(f.read())
lags = []
for k in range(2, 7):
    i = max(0, round((shown[k] - float(start)) * RATE) - RATE // 20)
    end = min(len(samples), i + RATE // 2)
    while i < end and abs(samples[i]) < LOUD:
        i += 1
    before = samples[max(0, i - RATE // 33):i - RATE // 200]
    if i == end or max(map(abs, before), default=0) >= QUIET:
        sys.exit(f"run {run}: no stab rising from silence after card {k}")
    lags.append((float(start) + i / RATE - shown[k]) * 1000)
print(f"run {run}: lags " + ", ".join(f"{l:.0f}" for l in lags) +
      f" ms; largest {max(lags):.0f} ms, spread {max(lags) - min(lags):.0f} ms; load average {load}")
PY
done
