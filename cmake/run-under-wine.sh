#!/usr/bin/env bash
# Runs a Windows console program under wine64 for ctest and GoogleTest's test
# discovery, in the Wine prefix PREFIX, which is made on first use.
#
#   run-under-wine.sh PREFIX PROGRAM.exe [ARGUMENTS...]
#
# The prefix belongs to one build folder and is made once (wineboot, some seconds),
# under a lock so that programs started at the same time wait for it rather than
# make it twice. No display is needed: console programs run without X, and the
# prefix is made without the Mono and Gecko add-ons, which would otherwise be
# offered. What the program writes to standard output and standard error keeps
# its bytes, but for the CR of each CR LF, which this side of the bridge does not
# want: a Windows program's text mode (GoogleTest's listing, its reports) writes
# CR LF, and ctest and the discovery of tests read LF lines. The exit status is the
# program's.
set -uo pipefail
prefix=${1:?usage: run-under-wine.sh PREFIX PROGRAM [ARGUMENTS...]}
shift
[ $# -ge 1 ] || { echo "usage: run-under-wine.sh PREFIX PROGRAM [ARGUMENTS...]" >&2; exit 2; }

wine=${FLOVERAN_WINE:-}
if [ -z "$wine" ]; then
  for candidate in wine64 /usr/lib/wine/wine64 /usr/lib64/wine/wine64; do
    if command -v "$candidate" >/dev/null 2>&1; then wine=$(command -v "$candidate"); break; fi
  done
fi
if [ -z "$wine" ]; then
  echo "run-under-wine.sh: wine64 not found (Debian: wine64, or bash .ci/install-deps.sh windows)" >&2
  exit 2
fi

export WINEPREFIX=$prefix
export WINEDEBUG=-all
# Unix file names in UTF-8, so that names with letters beyond ASCII map both ways.
export LC_ALL=C.UTF-8
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe="
unset DISPLAY WAYLAND_DISPLAY

mkdir -p "$(dirname "$prefix")"
if [ ! -e "$prefix/.made" ]; then
  (
    flock 9
    if [ ! -e "$prefix/.made" ]; then
      "$wine" wineboot --init >/dev/null 2>&1
      # wineboot returns before the prefix is written out; the server's end marks it.
      "$(dirname "$wine")/wineserver" --wait 2>/dev/null || wineserver --wait 2>/dev/null || true
      [ -e "$prefix/system.reg" ] || { echo "run-under-wine.sh: could not make the Wine prefix $prefix" >&2; exit 2; }
      touch "$prefix/.made"
    fi
  ) 9>"$prefix.lock" || exit 2
fi

"$wine" "$@" 2> >(sed -u 's/\r$//' >&2) | sed -u 's/\r$//'
status=${PIPESTATUS[0]}
wait
exit "$status"
