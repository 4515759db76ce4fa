#!/usr/bin/env bash
# Runs a Windows console program under wine64 for ctest and GoogleTest's test
# discovery, in the Wine prefix PREFIX, which is made on first use.
#
#   run-under-wine.sh [--bytes] [--own-server] PREFIX PROGRAM.exe [ARGUMENTS...]
#
# The prefix belongs to one build folder and is made once (wineboot, some seconds),
# under a lock so that programs started at the same time wait for it rather than
# make it twice. No display is needed: console programs run without X, and the
# prefix is made without the Mono and Gecko add-ons, which would otherwise be
# offered. What the program writes to standard output and standard error keeps
# its bytes, but for the CR of each CR LF, which this side of the bridge does not
# want: a Windows program's text mode (GoogleTest's listing, its reports) writes
# CR LF, and ctest and the discovery of tests read LF lines. With --bytes nothing
# is changed: standard input, output and error are the program's own (the README
# examples and the comparison of console bytes use that). The exit status is the
# program's.
#
# Wine opens files in its server process, so a name such as /dev/fd/63 (a bash
# process substitution) reaches the descriptors of whoever started the server.
# --own-server waits until the prefix has no server, then starts one that
# inherits this script's descriptors and ends with the program; programs that run
# at the same time in the same prefix then share it, in turn.
set -uo pipefail
usage="usage: run-under-wine.sh [--bytes] [--own-server] PREFIX PROGRAM [ARGUMENTS...]"
bytes=false
own_server=false
while [ $# -gt 0 ]; do
  case $1 in
    --bytes) bytes=true ;;
    --own-server) own_server=true ;;
    *) break ;;
  esac
  shift
done
prefix=${1:?$usage}
shift
[ $# -ge 1 ] || { echo "$usage" >&2; exit 2; }

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

wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver || echo wineserver)

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
      "$wineserver" --wait 2>/dev/null || true
      [ -e "$prefix/system.reg" ] || { echo "run-under-wine.sh: could not make the Wine prefix $prefix" >&2; exit 2; }
      touch "$prefix/.made"
    fi
  ) 9>"$prefix.lock" || exit 2
fi

if $own_server; then
  "$wineserver" --wait 2>/dev/null || true
  "$wineserver" --persistent=0 2>/dev/null || true
else
  # One server for the programs of a test run, which outlives each by half a
  # minute, and Wine's own programs (services, devices) started under it once,
  # with no standard files of ours, before any test: a server that a program
  # starts itself ends a few seconds after it, and its services, which keep that
  # program's output open until then, make each test wait for them; a test that
  # starts while they go away can fail with "Connection reset by peer". Where a
  # server runs already, this does nothing; programs started meanwhile wait for
  # it under the lock of the prefix, which the server and its programs, living
  # on, must not hold.
  (
    flock 9
    if "$wineserver" --persistent=30 </dev/null >/dev/null 2>&1 9>&-; then
      "$wine" cmd /c exit 0 </dev/null >/dev/null 2>&1 9>&- || true
    fi
  ) 9>"$prefix.lock"
fi
if $bytes; then
  exec "$wine" "$@"
fi
"$wine" "$@" 2> >(sed -u 's/\r$//' >&2) | sed -u 's/\r$//'
status=${PIPESTATUS[0]}
wait
exit "$status"
