#!/usr/bin/env bash
# Many tables at once, as a folder is converted with xargs -P: FILES generated
# tables converted by xargs -P JOBS, by the build measured and by a second build
# (such as one of main, which converts each table on one thread), in alternating
# rounds. See bench/README.md.
#
#   bench/run_many_files.sh -B OTHER_BINARY [-n ROUNDS] [-f FILES] [-P JOBS] [-y YEARS]
#                           [-b BINARY] [-g GENERATOR]
#
#   -B OTHER_BINARY  the build to compare with (required)
#   -n ROUNDS        timed rounds per build (default 5); the median is kept
#   -f FILES         tables (default 8)
#   -P JOBS          conversions at a time (default 2)
#   -y YEARS         years of hourly records of 50 gauges per table (default 10,
#                    about 30 MB)
#   -b BINARY        the tool to measure (default build/release/floveran)
#   -g GENERATOR     the table generator (default build/release/bench/generate_table)
#
# Every round converts all tables into a fresh folder; the outputs of both builds
# are compared by sha256, and the script ends with status 1 when they differ or a
# conversion fails. The environment is passed on, so FLOVERAN_THREADS=1 measures
# the build on one thread per table.
set -euo pipefail

script_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$script_dir/.." && pwd)

rounds=5
files=8
jobs=2
years=10
binary=$root/build/release/floveran
other=
generator=$root/build/release/bench/generate_table

usage() { sed -n '2,21p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit "${1:-2}"; }

while getopts "n:f:P:y:b:B:g:h" opt; do
  case $opt in
    n) rounds=$OPTARG ;;
    f) files=$OPTARG ;;
    P) jobs=$OPTARG ;;
    y) years=$OPTARG ;;
    b) binary=$OPTARG ;;
    B) other=$OPTARG ;;
    g) generator=$OPTARG ;;
    h) usage 0 ;;
    *) usage 2 ;;
  esac
done
[[ -n $other ]] || usage 2
for n in "$rounds" "$files" "$jobs" "$years"; do
  [[ $n =~ ^[1-9][0-9]*$ ]] || { echo "counts must be positive integers" >&2; exit 2; }
done
absolute() { [[ $1 = /* ]] && echo "$1" || echo "$PWD/$1"; }
binary=$(absolute "$binary")
other=$(absolute "$other")
generator=$(absolute "$generator")
for exe in "$binary" "$other" "$generator"; do
  [[ -x $exe ]] || { echo "not found or not executable: $exe" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/floveran_many.XXXXXX")
trap 'rm -rf "$work"' EXIT

echo "floveran: $files tables by xargs -P $jobs"
echo "machine: $(nproc) cores, $(uname -sr); work folder $work"
echo "binary:  $binary"
echo "other:   $other"
echo "FLOVERAN_THREADS=${FLOVERAN_THREADS:-(unset)}; $rounds rounds per build, alternating"
mkdir "$work/in"
for ((i = 1; i <= files; i++)); do
  "$generator" 50 "$years" hourly lf "$i" "$work/in/t$i.txt" >/dev/null
done
echo "inputs:  $(du -sm "$work/in" | cut -f1) MB in $files tables of $years years"

# round BINARY LABEL: converts every table; prints the wall time in ms.
round() {
  local exe=$1 label=$2
  rm -rf "$work/out_$label"
  mkdir "$work/out_$label"
  local t0 t1
  t0=$(date +%s%N)
  (cd "$work/in" && printf '%s\0' *.txt |
    xargs -0 -P "$jobs" -I{} "$exe" {} "../out_$label/{}" >/dev/null)
  t1=$(date +%s%N)
  echo $(((t1 - t0) / 1000000))
}

median() { sort -n | awk '{v[NR] = $1} END {if (NR % 2) print v[(NR + 1) / 2]; else printf "%.0f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

declare -a first_ms other_ms
for ((r = 0; r < rounds; r++)); do
  first_ms+=("$(round "$binary" first)")
  other_ms+=("$(round "$other" other)")
done

failed=0
for ((i = 1; i <= files; i++)); do
  a=$(sha256sum <"$work/out_first/t$i.txt" | cut -d' ' -f1)
  b=$(sha256sum <"$work/out_other/t$i.txt" | cut -d' ' -f1)
  [[ $a == "$b" ]] || { echo "t$i.txt: the outputs DIFFER"; failed=1; }
done
[[ $failed == 1 ]] || echo "outputs: the same for both builds"

echo "binary ms: ${first_ms[*]}"
echo "other ms:  ${other_ms[*]}"
fm=$(printf '%s\n' "${first_ms[@]}" | median)
om=$(printf '%s\n' "${other_ms[@]}" | median)
awk -v f="$fm" -v o="$om" 'BEGIN {printf "median: binary %d ms, other %d ms, binary/other %.3f\n", f, o, f / o}'
exit "$failed"
