#!/usr/bin/env bash
# Builds the fuzz preset and runs each libFuzzer target for a while on a copy of its
# seed corpus, so the corpus in the repository is not flooded with new inputs.
#
#   tests/fuzz/run_fuzzers.sh SECONDS [target...]
#
# SECONDS is the time of each target (default 20); the targets (default: all three)
# run one after the other, each on one core. For each target it prints the
# executions, executions per second and the final coverage (cov: edges, ft:
# features) of libFuzzer's last stats. Exits non-zero when any target finds a
# crash, leak, timeout, out-of-memory or sanitizer report; the input that caused it
# is kept and its path printed, with the log.
#
# The work folder (corpus copies, logs, artifacts) is a fresh temporary folder,
# removed after a clean run; with FLOVERAN_FUZZ_WORK set it is that folder instead,
# and it is kept.
set -uo pipefail

seconds=${1:-20}
shift || true
case "$seconds" in
  ''|*[!0-9]*) echo "usage: $0 SECONDS [fuzz_scan|fuzz_format|fuzz_run ...]" >&2; exit 2 ;;
esac
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then targets=(fuzz_scan fuzz_format fuzz_run); fi

root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root" || exit 2

if [ -n "${FLOVERAN_FUZZ_WORK:-}" ]; then
  work=$FLOVERAN_FUZZ_WORK
  keep_work=1
  mkdir -p "$work" || exit 2
else
  work=$(mktemp -d "${TMPDIR:-/tmp}/floveran_fuzz.XXXXXX") || exit 2
  keep_work=0
fi

# Only the fuzz targets (and the tool, which fuzz_run drives) are built here.
echo "== building the fuzz preset"
if ! { cmake --preset fuzz -DFLOVERAN_TESTS=OFF &&
       cmake --build --preset fuzz -j2 --target "${targets[@]}"; } >"$work/build.txt" 2>&1; then
  tail -40 "$work/build.txt"
  echo "!! the fuzz build failed; log: $work/build.txt"
  exit 2
fi

# The longest input worth mutating, and the time one input may take, per target.
max_len_of() {
  case "$1" in
    fuzz_scan) echo 8192 ;;
    fuzz_format) echo 200 ;;
    fuzz_run) echo 6000 ;;
    *) echo 4096 ;;
  esac
}
timeout_of() {
  case "$1" in
    fuzz_run) echo 30 ;;
    *) echo 10 ;;
  esac
}

# The value behind "name:" in a libFuzzer stats line.
stat_of() { sed -n "s/.* $1: *\([0-9]*\).*/\1/p" <<<"$2"; }

passed=0
failed=0
for target in "${targets[@]}"; do
  binary="$root/build/fuzz/tests/fuzz/$target"
  dir="$work/$target"
  if [ ! -x "$binary" ] || [ ! -d "$root/tests/fuzz/corpus/$target" ]; then
    echo "!! $target: no such fuzz target"
    failed=$((failed + 1))
    continue
  fi
  rm -rf "$dir"
  mkdir -p "$dir/corpus" "$dir/tmp"
  cp "$root/tests/fuzz/corpus/$target/"* "$dir/corpus/"
  echo "== $target: $seconds s, log $dir/log.txt"
  started=$(date +%s)
  # TMPDIR: fuzz_run's private folders land here, also when a finding ends it.
  (cd "$dir" && TMPDIR="$dir/tmp" "$binary" corpus \
      -max_total_time="$seconds" -max_len="$(max_len_of "$target")" \
      -timeout="$(timeout_of "$target")" -rss_limit_mb=4096 \
      -artifact_prefix="$dir/" -print_final_stats=1) >"$dir/log.txt" 2>&1
  rc=$?
  elapsed=$(( $(date +%s) - started ))

  last=$(grep -E '^#[0-9]+.*cov: ' "$dir/log.txt" | tail -1)
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log.txt")
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$dir/log.txt")
  echo "   $target: ${runs:-?} executions in ${elapsed} s (${speed:-?}/s), cov ${last:+$(stat_of cov "$last")} ft ${last:+$(stat_of ft "$last")}, corpus $(find "$dir/corpus" -type f | wc -l) inputs"

  artifacts=$(find "$dir" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | sort)
  reports=$(grep -cE 'ERROR: (AddressSanitizer|LeakSanitizer|UndefinedBehaviorSanitizer|libFuzzer)|runtime error:' "$dir/log.txt")
  if [ $rc -ne 0 ] || [ -n "$artifacts" ] || [ "$reports" -ne 0 ]; then
    failed=$((failed + 1))
    keep_work=1
    echo "!! $target failed (exit status $rc); log: $dir/log.txt"
    grep -E 'ERROR|SUMMARY|fuzz_[a-z]+: |runtime error' "$dir/log.txt" | head -20
    for a in $artifacts; do echo "!! input kept at $a"; done
  else
    passed=$((passed + 1))
  fi
done

if [ $keep_work -eq 0 ]; then
  rm -rf "$work"
else
  echo "fuzz work folder kept: $work"
fi
echo "fuzz: $passed passed, $failed failed"
[ $failed -eq 0 ]
