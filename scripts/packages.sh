# Installs the Debian packages the build, the show and the tests need, quietly,
# and only when one of them is missing. Sourced by run-demo.sh, run-tests.sh
# and tools/record/record.sh. Two lists:
#
# What building and playing the show need (with its tools, which the run
# command builds too), and all that ./run-demo.sh installs.
demo_packages="build-essential cmake pkg-config libxmp-dev libsdl2-dev zlib1g-dev"
# What the tests, the recorder and the web page need besides, all of which
# ./run-tests.sh installs; tools/record/record.sh installs the recorder's and
# the page's part:
# - the recorder encodes with ffmpeg and draws with a console font;
record_packages="ffmpeg console-setup-linux"
# - the web page ships a font beside the player (Node and npm, for the
#   player's package, are installed by tools/web/setup.sh when missing); its
#   test plays the page in chromium;
web_packages="fonts-dejavu-core"
# - the fuzz targets are built with clang and its libFuzzer and sanitizer runtimes.
fuzz_packages="clang libclang-rt-14-dev"
# - the sound server test plays through a PulseAudio and a PipeWire of its own.
#   Debian's pulseaudio and pipewire-pulse exclude each other: where
#   pipewire-pulse is installed, pulseaudio is not asked for.
sound_server_packages="pulseaudio-utils pipewire pipewire-bin wireplumber libpipewire-0.3-modules dbus-daemon"
dpkg-query -W -f='${Status}' pipewire-pulse 2>/dev/null | grep -q "install ok installed" ||
    sound_server_packages="$sound_server_packages pulseaudio"
test_packages="libgtest-dev libbenchmark-dev openmpt123 sox clang-format $record_packages $web_packages chromium $fuzz_packages $sound_server_packages"

# apt's own messages go to a log, shown only when the install fails.
ensure_packages() {
    local missing=() p log status=0
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing missing packages: ${missing[*]}" >&2
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    log=$(mktemp)
    { $sudo apt-get update -qq &&
      DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"; } \
        >"$log" 2>&1 </dev/null || status=$?
    [ "$status" -eq 0 ] || cat "$log" >&2
    rm -f "$log"
    return "$status"
}
