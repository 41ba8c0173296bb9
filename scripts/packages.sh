# The Debian packages each command needs, one list a purpose, and the one
# function that installs those missing, quietly. Every script that installs
# reads its lists from here: run-demo.sh, run-tests.sh, tools/record/record.sh,
# tools/web/setup.sh, tools/terminals/terminals.sh and bench/show/stab_lag.sh.
#
# What building and playing the show need, and all that ./run-demo.sh installs
# (it builds the show alone, without the tools).
demo_packages="build-essential cmake pkg-config libxmp-dev libsdl2-dev"
# What the tools built beside the show need besides: their shared library
# (tools/termcast) packs the cast with zlib. Every command that builds the
# tools installs these.
tools_packages="zlib1g-dev"
# What the tests, the recorder and the web page need besides, all of which
# ./run-tests.sh installs; tools/record/record.sh installs the recorder's and
# the page's part:
# - the recorder encodes with ffmpeg and draws with a console font;
record_packages="ffmpeg console-setup-linux"
# - the web page ships a font beside the player; its test plays the page in
#   chromium;
web_packages="fonts-dejavu-core"
# - Node and npm, for the player's package, which tools/web/setup.sh installs
#   when npm is missing;
node_packages="nodejs npm"
# - the fuzz targets are built with clang and its libFuzzer and sanitizer runtimes.
fuzz_packages="clang libclang-rt-14-dev"
# - the sound server test plays through a PulseAudio and a PipeWire of its own.
#   Debian's pulseaudio and pipewire-pulse exclude each other: where
#   pipewire-pulse is installed, pulseaudio is not asked for.
sound_server_packages="pulseaudio-utils pipewire pipewire-bin wireplumber libpipewire-0.3-modules dbus-daemon"
dpkg-query -W -f='${Status}' pipewire-pulse 2>/dev/null | grep -q "install ok installed" ||
    sound_server_packages="$sound_server_packages pulseaudio"
test_packages="$tools_packages libgtest-dev libbenchmark-dev openmpt123 sox clang-format $record_packages $web_packages chromium $fuzz_packages $sound_server_packages"
# Not installed by the test command:
# - the stab lag measurement (bench/show/stab_lag.sh) reads the recording with
#   Python, besides the recorder's packages;
stab_lag_packages="$tools_packages $record_packages python3"
# - the terminal check (tools/terminals/terminals.sh) plays the show in eight
#   terminal emulators, each in an X display of its own, photographs them with
#   xwd (x11-apps) and converts the photographs with ImageMagick; alacritty and
#   kitty draw with Mesa's software OpenGL, xfce4-terminal wants a D-Bus session.
terminal_packages="$tools_packages xvfb x11-apps imagemagick fonts-dejavu-core libgl1-mesa-dri dbus-daemon
xterm rxvt-unicode stterm alacritty kitty xfce4-terminal konsole mlterm"

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
