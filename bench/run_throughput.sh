#!/usr/bin/env bash
# Throughput of floveran on four generated tables, on the threads it takes by
# itself and on one thread (FLOVERAN_THREADS=1), against the floor (reading the
# input plus writing a file of the output's size) and a cp of the same input,
# all measured in the same run. See bench/README.md.
#
#   bench/run_throughput.sh [-n RUNS] [-b BINARY] [-c OTHER_BINARY] [-g GENERATOR]
#
#   -n RUNS          timed runs per case and binary (default 5); the median is kept
#   -b BINARY        the tool to measure (default build/release/floveran)
#   -c OTHER_BINARY  a second build, measured the same way; the sha256 of every
#                    output and console is compared with the first, and the
#                    script ends with status 1 when any differs (e.g. -c
#                    build/exact/floveran)
#   -g GENERATOR     the table generator (default build/release/bench/generate_table)
#
# Cases:
#   (a) 50 gauges, 10 years of hourly records, LF       floveran in.txt out.txt
#   (b) 500 gauges, 30 years of daily records, LF       floveran in.txt out.txt 5 0 24 1
#   (c) case (a) with CR LF line ends                    floveran in.txt out.txt
#   (d) the output of (a) converted back with method 2   floveran in.txt out.txt 5 0 1 2
# The input of (d) is the output of (a) written by the first binary, for both
# binaries, so that their (d) outputs are comparable. Each case runs in its own
# folder on in.txt, so outputs carry the same title line in every run: their
# sha256 can be compared across runs and builds, and (c) must equal (a).
# Exit status 1 when a run fails, (c) differs from (a), one thread differs from the
# threads, or -c finds a difference.
#
# Every case is run once untimed (page cache, output for the checksum) and once on
# one thread (whose output and console must be the same), then RUNS times: each
# timed run of the tool followed by a timed run on one thread, a timed cp of the
# same input to a new file, and the floor: a timed cat of the input to /dev/null
# plus a timed dd of the output's size from /dev/zero into a new file. Wall time
# and peak memory (ru_maxrss) come from a tiny getrusage wrapper compiled with c++
# (or $CXX) into the work folder; without a compiler,
# from /usr/bin/time -v around a date +%s%N clock, else from a python3 helper,
# else from the clock alone (peak memory n/a). FLOVERAN_BENCH_TIMER=wrapper|time|
# python|clock forces one. Everything is done in a mktemp -d folder, removed at
# the end.
set -euo pipefail

script_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$script_dir/.." && pwd)

runs=5
binary=$root/build/release/floveran
other=
generator=$root/build/release/bench/generate_table

usage() { sed -n '2,24p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit "${1:-2}"; }

while getopts "n:b:c:g:h" opt; do
  case $opt in
    n) runs=$OPTARG ;;
    b) binary=$OPTARG ;;
    c) other=$OPTARG ;;
    g) generator=$OPTARG ;;
    h) usage 0 ;;
    *) usage 2 ;;
  esac
done
shift $((OPTIND - 1))
[[ $# -eq 0 ]] || usage 2
[[ $runs =~ ^[1-9][0-9]*$ ]] || { echo "RUNS must be a positive integer" >&2; exit 2; }

absolute() { [[ $1 = /* ]] && echo "$1" || echo "$PWD/$1"; }
binary=$(absolute "$binary")
generator=$(absolute "$generator")
[[ -z $other ]] || other=$(absolute "$other")
for exe in "$binary" "$generator" ${other:+"$other"}; do
  if [[ ! -x $exe ]]; then
    echo "not found or not executable: $exe" >&2
    echo "build first: cmake --preset release && cmake --build --preset release -j2" >&2
    exit 2
  fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/floveran_bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# ---------------------------------------------------------------- timing ----
# Preferred: a small getrusage wrapper compiled here, for a nanosecond wall clock
# and a peak RSS that its parent does not raise (a forked child's peak starts at
# the size of its parent). Then /usr/bin/time -v with a date +%s%N clock, then
# python3 (whose own RSS of about 10 MiB is a floor under every peak it reports),
# then the clock alone.
cxx=${CXX:-c++}
timer=${FLOVERAN_BENCH_TIMER:-}
if [[ -z $timer ]]; then
  if command -v "$cxx" >/dev/null 2>&1; then timer=wrapper
  elif [[ -x /usr/bin/time ]]; then timer=time
  elif command -v python3 >/dev/null 2>&1; then timer=python
  else timer=clock
  fi
fi
case $timer in
  wrapper) command -v "$cxx" >/dev/null 2>&1 || { echo "no C++ compiler ($cxx)" >&2; exit 2; } ;;
  python) command -v python3 >/dev/null 2>&1 || { echo "python3 not found" >&2; exit 2; } ;;
  time) [[ -x /usr/bin/time ]] || { echo "/usr/bin/time not found" >&2; exit 2; } ;;
  clock) ;;
  *) echo "FLOVERAN_BENCH_TIMER must be wrapper, time, python or clock" >&2; exit 2 ;;
esac

if [[ $timer == wrapper ]]; then
  cat >"$work/rusage_timer.cpp" <<'EOF'
// rusage_timer STDOUT_FILE COMMAND ARGS...: runs the command with its standard
// output in STDOUT_FILE; prints "wall_ns peak_rss_kib exit_status".
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const int out = open(argv[1], O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (out < 0) return 2;
  timespec start{}, stop{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  const pid_t pid = fork();
  if (pid < 0) return 2;
  if (pid == 0) {
    dup2(out, 1);
    close(out);
    execvp(argv[2], argv + 2);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return 2;
  clock_gettime(CLOCK_MONOTONIC, &stop);
  const long long wall = (stop.tv_sec - start.tv_sec) * 1000000000LL + (stop.tv_nsec - start.tv_nsec);
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  std::printf("%lld %ld %d\n", wall, usage.ru_maxrss, code);
  return 0;
}
EOF
  "$cxx" -O2 -o "$work/rusage_timer" "$work/rusage_timer.cpp" || { echo "cannot build the timer with $cxx" >&2; exit 2; }
fi

cat >"$work/timer.py" <<'EOF'
# timer.py STDOUT_FILE COMMAND ARGS...: runs the command with its standard output
# in STDOUT_FILE; prints "wall_ns peak_rss_kib exit_status".
import os, sys, time
out = os.open(sys.argv[1], os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
start = time.perf_counter_ns()
pid = os.posix_spawnp(sys.argv[2], sys.argv[2:], os.environ,
                      file_actions=[(os.POSIX_SPAWN_DUP2, out, 1)])
_, status, usage = os.wait4(pid, 0)
wall = time.perf_counter_ns() - start
code = os.WEXITSTATUS(status) if os.WIFEXITED(status) else 128 + os.WTERMSIG(status)
print(wall, usage.ru_maxrss, code)
EOF

# measure STDOUT_FILE COMMAND ARGS...: sets m_wall_ns, m_rss_kib (or n/a), m_status.
measure() {
  local stdout_file=$1
  shift
  local t0 t1 line
  case $timer in
    wrapper)
      line=$("$work/rusage_timer" "$stdout_file" "$@")
      read -r m_wall_ns m_rss_kib m_status <<<"$line"
      ;;
    python)
      line=$(python3 "$work/timer.py" "$stdout_file" "$@")
      read -r m_wall_ns m_rss_kib m_status <<<"$line"
      ;;
    time)
      t0=$(date +%s%N)
      m_status=0
      /usr/bin/time -v -o "$work/rusage" "$@" >"$stdout_file" || m_status=$?
      t1=$(date +%s%N)
      m_wall_ns=$((t1 - t0))
      m_rss_kib=$(awk -F': *' '/Maximum resident set size/ {print $2}' "$work/rusage")
      [[ -n $m_rss_kib ]] || m_rss_kib=n/a
      ;;
    clock)
      t0=$(date +%s%N)
      m_status=0
      "$@" >"$stdout_file" || m_status=$?
      t1=$(date +%s%N)
      m_wall_ns=$((t1 - t0))
      m_rss_kib=n/a
      ;;
  esac
}

median() { sort -n | awk '{v[NR] = $1} END {if (NR % 2) print v[(NR + 1) / 2]; else printf "%.0f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
max_of() { awk 'BEGIN {m = "n/a"} $1 != "n/a" && (m == "n/a" || $1 + 0 > m + 0) {m = $1} END {print m}'; }

# ---------------------------------------------------------------- machine ---
cpu=$(awk -F': *' '/^model name/ {print $2; exit}' /proc/cpuinfo 2>/dev/null || true)
echo "floveran throughput"
echo "machine: $(nproc) cores, CPU ${cpu:-unknown}, $(uname -sr)"
echo "work folder: $work ($(df -T "$work" | awk 'NR == 2 {print $2}'))"
echo "binary:  $binary"
[[ -z $other ]] || echo "other:   $other"
commit=$(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)
echo "commit:  $commit; timer: $timer; $runs timed runs per case; MB = 10^6 bytes"
echo

# ---------------------------------------------------------------- inputs ----
echo "generating inputs"
# Each case has its own folder and the tool is run there on in.txt, so the input
# name in the output title line is the same in every run and every case: the
# checksums can be compared across runs, and (a) and (c) must give equal output.
mkdir "$work/a" "$work/b" "$work/c" "$work/d"
"$generator" 50 10 hourly lf 1 "$work/a/in.txt" | sed 's/^/  (a) /'
"$generator" 500 30 daily lf 2 "$work/b/in.txt" | sed 's/^/  (b) /'
"$generator" 50 10 hourly crlf 1 "$work/c/in.txt" | sed 's/^/  (c) /'
(cd "$work/a" && "$binary" in.txt ../d/in.txt >/dev/null 2>&1) || { echo "the tool failed on (a)" >&2; exit 1; }
echo "  (d) the output of (a) by $(basename "$binary"), $(wc -c <"$work/d/in.txt") bytes"
echo

cases=(a b c d)
declare -A title args
title[a]="50 gauges, 10 years hourly, LF"
title[b]="500 gauges, 30 years daily, LF"
title[c]="50 gauges, 10 years hourly, CR LF"
title[d]="output of (a), back with method 2"
args[a]=""
args[b]="5 0 24 1"
args[c]=""
args[d]="5 0 1 2"

declare -A sum_line checksum console_checksum
failed=0

# run_case CASE BINARY LABEL
run_case() {
  local c=$1 exe=$2 label=$3
  local in=in.txt out=out.txt copy=copy.txt
  cd "$work/$c"
  local -a extra
  read -r -a extra <<<"${args[$c]}"
  local bytes records columns values
  bytes=$(wc -c <"$in")
  records=$(($(wc -l <"$in") - 5))

  # Untimed run: page cache, console, output checksum.
  rm -f "$out"
  measure "$work/console" "$exe" "$in" "$out" "${extra[@]}"
  if [[ $m_status != 0 ]]; then
    echo "  $label: exit status $m_status" >&2
    failed=1
    return
  fi
  columns=$(awk '{sub(/\r$/, "")} / columns / {print $1; exit}' "$work/console")
  columns=${columns:-0}
  values=$((records * columns))
  local out_bytes sha
  out_bytes=$(wc -c <"$out")
  sha=$(sha256sum "$out" | cut -d' ' -f1)
  checksum[$c,$label]=$sha
  console_checksum[$c,$label]=$(sha256sum "$work/console" | cut -d' ' -f1)

  # One thread, untimed: the same output and console as the threads.
  rm -f "$out"
  measure "$work/console1" env FLOVERAN_THREADS=1 "$exe" "$in" "$out" "${extra[@]}"
  if [[ $m_status != 0 || $(sha256sum <"$out" | cut -d' ' -f1) != "$sha" ]] ||
     ! cmp -s "$work/console" "$work/console1"; then
    echo "  $label: one thread gives ANOTHER output or console than the threads" >&2
    failed=1
  fi

  local -a tool_ns=() one_ns=() pair_ns=() copy_ns=() floor_ns=() rss=() one_rss=()
  local i read_ns
  for ((i = 0; i < runs; i++)); do
    rm -f "$out" "$copy"
    measure /dev/null "$exe" "$in" "$out" "${extra[@]}"
    [[ $m_status == 0 ]] || { echo "  $label: exit status $m_status in run $i" >&2; failed=1; return; }
    tool_ns+=("$m_wall_ns")
    rss+=("$m_rss_kib")
    rm -f "$out"
    measure /dev/null env FLOVERAN_THREADS=1 "$exe" "$in" "$out" "${extra[@]}"
    [[ $m_status == 0 ]] || { echo "  $label: exit status $m_status on one thread in run $i" >&2; failed=1; return; }
    one_ns+=("$m_wall_ns")
    one_rss+=("$m_rss_kib")
    # Two runs on one thread at once, into two outputs: what two processors give.
    rm -f "$out" pair.txt
    measure /dev/null sh -c 'e=$1 i=$2; shift 2
      FLOVERAN_THREADS=1 "$e" "$i" out.txt "$@" & FLOVERAN_THREADS=1 "$e" "$i" pair.txt "$@"; wait' \
      pair "$exe" "$in" "${extra[@]}"
    pair_ns+=("$m_wall_ns")
    measure /dev/null cp "$in" "$copy"
    copy_ns+=("$m_wall_ns")
    # The floor: the input read, and a new file of the output's size written.
    rm -f floor.txt
    measure /dev/null cat "$in"
    read_ns=$m_wall_ns
    measure /dev/null dd if=/dev/zero of=floor.txt bs=1M count="$out_bytes" iflag=count_bytes status=none
    floor_ns+=($((read_ns + m_wall_ns)))
  done
  rm -f "$out" "$copy" floor.txt pair.txt
  cd "$work"

  local tool_med one_med pair_med copy_med floor_med peak one_peak
  tool_med=$(printf '%s\n' "${tool_ns[@]}" | median)
  one_med=$(printf '%s\n' "${one_ns[@]}" | median)
  pair_med=$(printf '%s\n' "${pair_ns[@]}" | median)
  copy_med=$(printf '%s\n' "${copy_ns[@]}" | median)
  floor_med=$(printf '%s\n' "${floor_ns[@]}" | median)
  peak=$(printf '%s\n' "${rss[@]}" | max_of)
  one_peak=$(printf '%s\n' "${one_rss[@]}" | max_of)

  local report
  report=$(awk -v b="$bytes" -v t="$tool_med" -v o="$one_med" -v w="$pair_med" -v k="$copy_med" -v f="$floor_med" \
               -v n="$values" -v p="$peak" -v q="$one_peak" '
    function mib(x) { return x == "n/a" ? "n/a" : sprintf("%.1f", x / 1024) }
    BEGIN {
      mbs = (b / 1e6) / (t / 1e9)
      nsv = "-"
      if (n > 0) nsv = sprintf("%.1f", t / n)
      printf "%9.2f %9.1f %8.1f %8.1f %7.2f %7.2f %8s %8s %7s %8.1f %7.2f %7.1f %7.2f", b / 1e6, t / 1e6, mbs, o / 1e6,
             o / t, 2 * o / w, nsv, mib(p), mib(q), f / 1e6, t / f, k / 1e6, t / k
    }')
  sum_line[$c,$label]=$report

  local all_ms one_all_ms floor_all_ms
  all_ms=$(printf '%s\n' "${tool_ns[@]}" | awk '{printf "%s%.1f", (NR > 1 ? " " : ""), $1 / 1e6}')
  one_all_ms=$(printf '%s\n' "${one_ns[@]}" | awk '{printf "%s%.1f", (NR > 1 ? " " : ""), $1 / 1e6}')
  floor_all_ms=$(printf '%s\n' "${floor_ns[@]}" | awk '{printf "%s%.1f", (NR > 1 ? " " : ""), $1 / 1e6}')
  echo "  $label: $(basename "$exe") in.txt out.txt ${args[$c]}"
  echo "    input  $bytes bytes, $records records x $columns columns = $values values"
  echo "    console: $(awk '{sub(/\r$/, "")} / columns / {print "\"" $0 "\""; exit}' "$work/console")"
  echo "    runs (ms), threads:    $all_ms"
  echo "    runs (ms), one thread: $one_all_ms"
  echo "    floor (ms):            $floor_all_ms"
  echo "    output $out_bytes bytes, sha256 $sha"
}

for c in "${cases[@]}"; do
  echo "($c) ${title[$c]}"
  run_case "$c" "$binary" first
  [[ -z $other ]] || run_case "$c" "$other" other
done
echo

labels=(first)
[[ -z $other ]] || labels+=(other)
echo "summary (median of $runs runs, all from the same run: tool = the threads it takes by itself, t1 ="
echo "FLOVERAN_THREADS=1, floor = the input read by cat plus a new file of the output's size written by dd,"
echo "pair = 2 x t1 / the time of two one-thread runs at once, the most two threads can give on this machine now;"
echo "cp = cp of the same input to a new file; peak = largest peak RSS, of the threads and of one thread)"
printf '%-4s %-6s %9s %9s %8s %8s %7s %7s %8s %8s %7s %8s %7s %7s %7s\n' case build input_MB tool_ms MB/s t1_ms \
  t1/tool pair ns/value peak_MiB t1_peak floor_ms t/floor cp_ms tool/cp
for c in "${cases[@]}"; do
  for l in "${labels[@]}"; do
    [[ -n ${sum_line[$c,$l]:-} ]] || continue
    printf '%-4s %-6s %s\n' "($c)" "$l" "${sum_line[$c,$l]}"
  done
done

echo
for l in "${labels[@]}"; do
  if [[ -n ${checksum[a,$l]:-} && ${checksum[a,$l]} == "${checksum[c,$l]:-}" ]]; then
    echo "$l: (c) with CR LF gives the same output as (a) with LF"
  else
    echo "$l: (c) with CR LF gives a DIFFERENT output from (a) with LF"
    failed=1
  fi
done

if [[ -n $other ]]; then
  echo
  echo "output and console checksums, first against other"
  for c in "${cases[@]}"; do
    a=${checksum[$c,first]:-none}
    b=${checksum[$c,other]:-none}
    if [[ $a == "$b" && $a != none ]]; then verdict=same; else verdict=DIFFERENT; failed=1; fi
    echo "  ($c) output  $verdict  ${a:0:16}  ${b:0:16}"
    a=${console_checksum[$c,first]:-none}
    b=${console_checksum[$c,other]:-none}
    if [[ $a == "$b" && $a != none ]]; then verdict=same; else verdict=DIFFERENT; failed=1; fi
    echo "  ($c) console $verdict  ${a:0:16}  ${b:0:16}"
  done
fi
exit "$failed"
