#!/usr/bin/env bash
# Compares the Windows build with the Linux build byte for byte: the output file,
# the console bytes and standard error of floveran (Linux) and floveran.exe
# (under Wine) on the four tables of run_throughput.sh, on the shipped examples
# and on names with letters beyond ASCII.
#
#   bench/compare_windows.sh [-l LINUX_BINARY] [-w WINDOWS_EXE] [-g GENERATOR] [-p WINE_PREFIX]
#
#   -l LINUX_BINARY  default build/release/floveran
#   -w WINDOWS_EXE   default build/windows/floveran.exe
#   -g GENERATOR     the table generator, a native program (default
#                    build/release/bench/generate_table)
#   -p WINE_PREFIX   default build/windows/wine (made on first use)
#
# Cases (each run in a folder of its own on in.txt, or from the top of a copy of
# the repository's examples/ under the name examples/..., so that the title lines
# are the same for both builds):
#   (a) 50 gauges, 10 years of hourly records, LF       in.txt out.txt
#   (b) 500 gauges, 30 years of daily records, LF       in.txt out.txt 5 0 24 1
#   (c) case (a) with CR LF line ends                    in.txt out.txt
#   (d) the output of (a) converted back with method 2   in.txt out.txt 5 0 1 2
#   and the README's runs of examples/kinzig_hourly.txt, kinzig_daily.txt (5 0 24),
#   murg_hourly.txt, kinzig_hourly_mm.txt back (5 0 1 2), a missing input and an
#   output that is the input; and kinzig_hourly.txt as Abflüsse_äøß.txt into
#   Spende_øßä.txt, a missing fehlt_ä.txt and a Kopf_ä.txt without a line 2.
# The input of (d) is the output of (a) by the Linux build, for both builds. Prints
# the sha256 of every output, console and standard error with the exit statuses,
# and ends with status 1 when any of them differs between the builds. A reason on
# standard error that is the system's own text ("floveran: cannot ...": followed
# by a capital letter, such as "No such file or directory") is Windows' wording
# under Wine: such a text is taken as "<system text>" on both sides.
set -euo pipefail

script_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$script_dir/.." && pwd)

linux=$root/build/release/floveran
windows=$root/build/windows/floveran.exe
generator=$root/build/release/bench/generate_table
prefix=$root/build/windows/wine

usage() { sed -n '2,33p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit "${1:-2}"; }
while getopts "l:w:g:p:h" opt; do
  case $opt in
    l) linux=$OPTARG ;;
    w) windows=$OPTARG ;;
    g) generator=$OPTARG ;;
    p) prefix=$OPTARG ;;
    h) usage 0 ;;
    *) usage 2 ;;
  esac
done
shift $((OPTIND - 1))
[[ $# -eq 0 ]] || usage 2

absolute() { [[ $1 = /* ]] && echo "$1" || echo "$PWD/$1"; }
linux=$(absolute "$linux")
windows=$(absolute "$windows")
generator=$(absolute "$generator")
prefix=$(absolute "$prefix")
for file in "$linux" "$generator"; do
  [[ -x $file ]] || { echo "not found or not executable: $file (cmake --workflow --preset release)" >&2; exit 2; }
done
[[ -f $windows ]] || { echo "not found: $windows (cmake --workflow --preset windows)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/floveran_windows.XXXXXX")
trap 'rm -rf "$work"' EXIT

# run BUILD FOLDER ARGUMENTS...: runs one build in FOLDER with its console in
# FOLDER/console and its standard error in FOLDER/errors; sets status.
run() {
  local build=$1 folder=$2
  shift 2
  status=0
  if [[ $build == linux ]]; then
    (cd "$folder" && "$linux" "$@" >console 2>errors) || status=$?
  else
    (cd "$folder" && bash "$root/cmake/run-under-wine.sh" --bytes "$prefix" "$windows" "$@" >console 2>errors) ||
      status=$?
  fi
}

sha() { if [[ -e $1 ]]; then sha256sum "$1" | cut -d' ' -f1; else echo "(none)"; fi; }

# Standard error with the system's own texts of reasons taken as one.
errors_sha() { sed -E 's/^(floveran: cannot .*": )[A-Z].*$/\1<system text>/' "$1" | sha256sum | cut -d' ' -f1; }

echo "floveran: the Linux build against the Windows build under Wine"
echo "linux:   $linux"
echo "windows: $windows"
echo "commit:  $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)"
echo

echo "generating inputs"
mkdir -p "$work/tables"
"$generator" 50 10 hourly lf 1 "$work/tables/a.txt" | sed 's/^/  (a) /'
"$generator" 500 30 daily lf 2 "$work/tables/b.txt" | sed 's/^/  (b) /'
"$generator" 50 10 hourly crlf 1 "$work/tables/c.txt" | sed 's/^/  (c) /'
mkdir -p "$work/make_d"
cp "$work/tables/a.txt" "$work/make_d/in.txt"
(cd "$work/make_d" && "$linux" in.txt out.txt >/dev/null)
mv "$work/make_d/out.txt" "$work/tables/d.txt"
echo "  (d) the output of (a) by the Linux build, $(wc -c <"$work/tables/d.txt") bytes"
echo

# Each case: a name, how its folder is laid out, its arguments and its output.
names=()
declare -A setup args output
add_case() { names+=("$1"); setup[$1]=$2; args[$1]=$3; output[$1]=$4; }
add_case "(a) hourly LF" "table a" "in.txt out.txt" out.txt
add_case "(b) daily LF" "table b" "in.txt out.txt 5 0 24 1" out.txt
add_case "(c) hourly CR LF" "table c" "in.txt out.txt" out.txt
add_case "(d) (a) back, method 2" "table d" "in.txt out.txt 5 0 1 2" out.txt
add_case "kinzig_hourly" examples "examples/kinzig_hourly.txt kinzig_mm.txt" kinzig_mm.txt
add_case "kinzig_daily 24 h" examples "examples/kinzig_daily.txt kinzig_daily_mm.txt 5 0 24" kinzig_daily_mm.txt
add_case "murg_hourly" examples "examples/murg_hourly.txt murg_mm.txt" murg_mm.txt
add_case "kinzig_hourly_mm back" examples "examples/kinzig_hourly_mm.txt back.txt 5 0 1 2" back.txt
add_case "missing input" examples "no_such_table.txt out.txt" out.txt
add_case "output is the input" examples "examples/kinzig_hourly.txt ./examples/kinzig_hourly.txt" examples/kinzig_hourly.txt
add_case "Abflüsse_äøß" letters "Abflüsse_äøß.txt Spende_øßä.txt" Spende_øßä.txt
add_case "missing fehlt_ä" letters "fehlt_ä.txt Spende_øßä.txt" Spende_øßä.txt
add_case "Kopf_ä without line 2" letters "Kopf_ä.txt Spende_øßä.txt" Spende_øßä.txt

differ=0
n=0
printf '%-24s %-7s %-64s %-64s %s\n' case build "output sha256" "console sha256" "standard error sha256 (status)"
for name in "${names[@]}"; do
  n=$((n + 1))
  declare -A got=()
  for build in linux windows; do
    folder=$work/case$n.$build
    mkdir -p "$folder"
    read -r kind table <<<"${setup[$name]}"
    if [[ $kind == table ]]; then
      ln "$work/tables/$table.txt" "$folder/in.txt" 2>/dev/null || cp "$work/tables/$table.txt" "$folder/in.txt"
    elif [[ $kind == letters ]]; then
      cp "$root/examples/kinzig_hourly.txt" "$folder/Abflüsse_äøß.txt"
      printf 'T\n' >"$folder/Kopf_ä.txt"
    else
      cp -r "$root/examples" "$folder/examples"
    fi
    read -r -a arguments <<<"${args[$name]}"
    run "$build" "$folder" "${arguments[@]}"
    out_sha=$(sha "$folder/${output[$name]}")
    console_sha=$(sha "$folder/console")
    errors=$(errors_sha "$folder/errors")
    got[$build]="$out_sha $console_sha $errors $status"
    printf '%-24s %-7s %-64s %-64s %s (%s)\n' "$name" "$build" "$out_sha" "$console_sha" "$errors" "$status"
  done
  if [[ ${got[linux]} == "${got[windows]}" ]]; then
    echo "  same output, console, standard error and status"
  else
    echo "  DIFFERENT"
    differ=1
  fi
  rm -rf "$work/case$n.linux" "$work/case$n.windows"
done
echo
if [[ $differ -eq 0 ]]; then
  echo "all $n cases: the same bytes from both builds"
else
  echo "some cases differ"
fi
exit "$differ"
