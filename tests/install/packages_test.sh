#!/usr/bin/env bash
# The package step with a stand-in apt: apt's own messages stay out of sight
# when the install succeeds and are all shown, with apt's status, when it fails.
#
#   packages_test.sh path/to/scripts/packages.sh
set -u
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }
printf '#!/bin/sh\nexit 1\n' >"$dir/dpkg-query"
printf '#!/bin/sh\nexec "$@"\n' >"$dir/sudo"
cat >"$dir/apt-get" <<'APT'
#!/bin/sh
echo "Reading package lists..."
echo "debconf: delaying package configuration, since apt-utils is not installed" >&2
[ "$1" = install ] && [ -e "${0%/*}/broken" ] && { echo "E: Unable to locate package foo" >&2; exit 100; }
exit 0
APT
chmod +x "$dir"/*
. "$1"
out=$(PATH=$dir:$PATH ensure_packages foo 2>&1)
status=$?
[ "$status.$out" = "0.Installing missing packages: foo" ] || fail "install: $status, $out"
touch "$dir/broken"
out=$(PATH=$dir:$PATH ensure_packages foo 2>&1)
status=$?
want="Installing missing packages: foo
Reading package lists...
debconf: delaying package configuration, since apt-utils is not installed
Reading package lists...
debconf: delaying package configuration, since apt-utils is not installed
E: Unable to locate package foo"
[ "$status.$out" = "100.$want" ] || fail "failed install: $status, $out"
exit $failed
