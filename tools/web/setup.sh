#!/usr/bin/env bash
# Installs the web page's npm packages, at the versions package-lock.json
# pins, into tools/web/node_modules: the player that goes beside the page and
# the browser driver of the page's test. Node and npm come from Debian when
# they are missing. Quiet when everything is in place.
set -euo pipefail
web=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$web/../.." && pwd)
. "$root/scripts/packages.sh"
command -v npm >/dev/null || ensure_packages $node_packages
# npm ci leaves its own copy of the lock in node_modules; a newer lock means
# the pins have changed since.
if [ ! -f "$web/node_modules/.package-lock.json" ] ||
   [ "$web/package-lock.json" -nt "$web/node_modules/.package-lock.json" ]; then
    echo "Installing the web page's npm packages ..." >&2
    (cd "$web" && npm ci --no-audit --no-fund --loglevel=error) >&2
fi
