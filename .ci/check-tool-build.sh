#!/usr/bin/env bash
# Checks the README's first command where only the build tools are installed.
#
#   bash .ci/check-tool-build.sh [REPOSITORY]
#
# Clones REPOSITORY (default: the one holding this script; its committed HEAD, not
# the work tree) into a fresh temporary folder and, in a private mount namespace
# (unshare -m) where the files of GoogleTest, Google Benchmark and clang are hidden
# (whited out in an overlay over /usr), checks that
#   - a preset that asks for the tests (release) stops at configure time and names
#     GoogleTest, and a plain configure (FLOVERAN_TESTS=AUTO) leaves the tests out:
#     proof that the packages really are out of sight;
#   - the README's first command (the ```shell block after <!-- first command -->)
#     runs, writes build/kinzig_mm.txt, which is examples/kinzig_hourly_mm.txt
#     byte for byte, and leaves `git status` of the clone clean.
# Needs root for the namespace and the mounts. Where unshare or the mounts are not
# available, it says so and exits 0 (skipped); every other fault exits 1.
set -euo pipefail

# Paths, relative to the top of the clone, that the README's first command writes.
readonly converted=build/kinzig_mm.txt
readonly golden=examples/kinzig_hourly_mm.txt

# --- inside the namespace -------------------------------------------------------
if [ "${1:-}" = --inside ]; then
  clone=$2
  scratch=$3
  shift 3
  hidden=("$@")

  # The overlay's upper layer lives on a tmpfs, which holds whiteouts on any host.
  mount -t tmpfs floveran_hide "$scratch"
  mkdir -p "$scratch/upper" "$scratch/work"
  # A whiteout (a character device 0:0) in the upper layer hides the file of the
  # same path below /usr.
  for path in "${hidden[@]}"; do
    below_usr=${path#/usr}
    mkdir -p "$scratch/upper$(dirname "$below_usr")"
    mknod "$scratch/upper$below_usr" c 0 0
  done
  if ! mount -t overlay floveran_hide \
      -o "lowerdir=/usr,upperdir=$scratch/upper,workdir=$scratch/work" /usr; then
    echo "SKIP: no overlay mount over /usr here, so GoogleTest cannot be hidden"
    exit 0
  fi
  for path in "${hidden[@]}"; do
    if [ -e "$path" ] || [ -L "$path" ]; then
      echo "FAIL: $path is still visible after hiding it"
      exit 1
    fi
  done
  if command -v clang++ >/dev/null; then
    echo "FAIL: clang++ is still on the PATH after hiding it: $(command -v clang++)"
    exit 1
  fi
  echo "hidden: ${#hidden[@]} files of the GoogleTest, Google Benchmark and clang packages"

  cd "$clone"
  export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-2}

  if cmake --preset release >"$scratch/release.log" 2>&1; then
    echo "FAIL: cmake --preset release configured without GoogleTest; it must stop:"
    cat "$scratch/release.log"
    exit 1
  elif ! grep -q 'FLOVERAN_TESTS=ON needs GTest' "$scratch/release.log"; then
    echo "FAIL: cmake --preset release failed, but not because GoogleTest is missing:"
    cat "$scratch/release.log"
    exit 1
  fi
  echo "ok: cmake --preset release stops without GoogleTest"
  rm -rf build/release

  if ! cmake -S . -B build/auto -G Ninja >"$scratch/auto.log" 2>&1; then
    echo "FAIL: a plain configure (FLOVERAN_TESTS=AUTO) fails without GoogleTest:"
    cat "$scratch/auto.log"
    exit 1
  elif ! grep -q 'GTest not found, so FLOVERAN_TESTS=AUTO leaves that part out' "$scratch/auto.log" ||
       [ -e build/auto/CTestTestfile.cmake ]; then
    echo "FAIL: a plain configure without GoogleTest did not leave the tests out:"
    cat "$scratch/auto.log"
    exit 1
  fi
  echo "ok: a plain configure leaves the tests out without GoogleTest"
  rm -rf build/auto

  first_command=$(awk '
    /^<!-- first command -->$/ { marked = 1; next }
    marked && !inside && /^```shell$/ { inside = 1; next }
    inside && /^```$/ { exit }
    inside { print }' README.md)
  if [ -z "$first_command" ]; then
    echo "FAIL: README.md has no \`\`\`shell block after <!-- first command -->"
    exit 1
  fi
  echo "running the README's first command:"
  echo "$first_command"
  if ! bash -euo pipefail -c "$first_command" >"$scratch/first.log" 2>&1; then
    cat "$scratch/first.log"
    echo "FAIL: the README's first command failed"
    exit 1
  fi
  if [ ! -f "$converted" ]; then
    cat "$scratch/first.log"
    echo "FAIL: the README's first command wrote no $converted"
    exit 1
  elif ! cmp "$converted" "$golden"; then
    echo "FAIL: $converted is not $golden"
    exit 1
  fi
  echo "ok: the README's first command converts the example into $converted, equal to $golden"
  untracked=$(git status --porcelain)
  if [ -n "$untracked" ]; then
    echo "FAIL: the README's first command left files that git sees in the clone:"
    echo "$untracked"
    exit 1
  fi
  echo "ok: git status of the clone stays clean"
  exit 0
fi

# --- outside: clone, list what to hide, enter the namespace ----------------------
self=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")
repository=${1:-$(cd "$(dirname "$0")/.." && pwd)}

if ! command -v unshare >/dev/null; then
  echo "SKIP: unshare is not installed, so the tool build cannot be checked with GoogleTest hidden"
  exit 0
fi
if ! unshare -m true 2>/dev/null; then
  echo "SKIP: unshare -m is not permitted here (it needs root), so the tool build cannot be checked with GoogleTest hidden"
  exit 0
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/floveran_tool_build.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/scratch"
git clone -q "$repository" "$work/clone"
echo "clone of $repository at $(git -C "$work/clone" rev-parse --short HEAD) in $work/clone"

# Every file that the installed GoogleTest, Google Benchmark and clang packages put
# below /usr (directories stay, emptied).
packages=$(dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' \
             googletest 'libgtest-dev' 'libgmock-dev' 'libbenchmark*' \
             clang 'clang-[0-9]*' 'libclang-rt-*' 2>/dev/null |
           awk '$1 == "ii" { print $2 }')
hidden=()
if [ -n "$packages" ]; then
  # shellcheck disable=SC2086
  while IFS= read -r path; do
    case "$path" in /usr/*) ;; *) continue ;; esac
    if [ -L "$path" ] || { [ -e "$path" ] && [ ! -d "$path" ]; }; then
      hidden+=("$path")
    fi
  done < <(dpkg -L $packages)
fi
if [ ${#hidden[@]} -eq 0 ]; then
  echo "note: none of GoogleTest, Google Benchmark and clang is installed; nothing to hide"
fi

unshare -m --propagation private bash "$self" --inside "$work/clone" "$work/scratch" "${hidden[@]}"
