#!/usr/bin/env bash
# The installed show: installed under a temporary DESTDIR, the launcher plays it
# from any folder, reached through symbolic links, for a few seconds in whole,
# well-formed frames, passes on SIGTERM and writes nothing into the data
# folder, and under sh says to run it with bash; the .deb holds the same files,
# with the runtime libraries as its dependencies.
#
#   install_test.sh path/to/build
set -u
build=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

DESTDIR=$dir/dest cmake --install "$build" --prefix /usr >"$dir/log" 2>&1 || { cat "$dir/log"; exit 1; }
data=$dir/dest/usr/share/demo
before=$(find "$data" -printf '%p %s %T@\n' | sort)
mkdir "$dir/elsewhere" "$dir/bin" "$dir/links"
# A relative link to an absolute one, as from ~/bin.
ln -s "$dir/dest/usr/bin/demo" "$dir/links/demo"
ln -s ../links/demo "$dir/bin/demo"
(cd "$dir/elsewhere" && SDL_AUDIODRIVER=dummy exec "$dir/bin/demo" >"$dir/out" 2>"$dir/err") &
pid=$!
sleep 4
kill -TERM "$pid"
wait "$pid"
status=$?
[ "$status" -eq 143 ] || fail "the launcher ended with $status"
[ ! -s "$dir/err" ] || fail "the launcher said: $(cat "$dir/err")"
[ "$(find "$data" -printf '%p %s %T@\n' | sort)" = "$before" ] || fail "the data folder changed"
[ -z "$(ls -A "$dir/elsewhere")" ] || fail "the show wrote into its working folder"
# The start, then frames of 24 cursor-ups and 24 rows of 80 cells (the last
# may be cut off by the signal), then the wrapper's reset.
frames=$(perl -0777 -ne '
    s/\A\ec\e\[\?25l(?: {80}\n){24}// or die "no start\n";
    s/\e\[0m\e\[\?25h\n\z// or die "no reset at the end\n";
    my @f = split /(?=(?:\e\[A){24})/;
    pop @f;
    for (@f) { /\A(?:\e\[A){24}(?:(?:\e\[\d+;\d+;\d+m[^\e]){80}\n){24}\z/ or die "a bad frame\n" }
    print scalar @f;' "$dir/out") || fail "the output: $frames"
[ "${frames:-0}" -ge 10 ] || fail "only ${frames:-0} frames in 4 seconds"
said=$(sh "$dir/dest/usr/bin/demo" 2>&1)
[ "$?.$said" = "2.demo: run it with bash: bash $dir/dest/usr/bin/demo" ] || fail "under sh: $said"

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$dir/pkg" >"$dir/log" 2>&1 || { cat "$dir/log"; exit 1; }
deb=$dir/pkg/demo_1.0.0_$(dpkg --print-architecture).deb
listing=$(dpkg-deb -c "$deb" | awk '{ print $1, $2, $6 }')
want="drwxr-xr-x root/root ./usr/
drwxr-xr-x root/root ./usr/bin/
-rwxr-xr-x root/root ./usr/bin/demo
drwxr-xr-x root/root ./usr/lib/
drwxr-xr-x root/root ./usr/lib/demo/
-rwxr-xr-x root/root ./usr/lib/demo/demo
drwxr-xr-x root/root ./usr/share/
drwxr-xr-x root/root ./usr/share/demo/
drwxr-xr-x root/root ./usr/share/demo/grafik/
-rw-r--r-- root/root ./usr/share/demo/knark.xm
-rw-r--r-- root/root ./usr/share/demo/vorbel.xm
drwxr-xr-x root/root ./usr/share/doc/
drwxr-xr-x root/root ./usr/share/doc/demo/
-rw-r--r-- root/root ./usr/share/doc/demo/copyright
drwxr-xr-x root/root ./usr/share/man/
drwxr-xr-x root/root ./usr/share/man/man6/
-rw-r--r-- root/root ./usr/share/man/man6/demo.6.gz"
[ "$(grep -v 'grafik/.' <<<"$listing" | sort -k3)" = "$want" ] || fail "the .deb holds: $listing"
# Every art file of the source, and nothing else, under share/demo/grafik/.
art=$(cd "$(dirname "$0")/../.." && find grafik -type f | sort)
[ "$(grep '^-rw-r--r-- .*grafik/.' <<<"$listing" | sed 's,.*/share/demo/,,' | sort)" = "$art" ] ||
    fail "the .deb's art differs from grafik/"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libxmp4 libsdl2-2.0-0; do
    [[ $depends == *"$lib "* ]] || fail "the .deb does not depend on $lib: $depends"
done
[ "$(dpkg-deb -f "$deb" Package Section)" = "Package: demo
Section: games" ] || fail "the .deb's fields: $(dpkg-deb -f "$deb" Package Section)"
exit $failed
