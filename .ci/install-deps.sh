#!/usr/bin/env bash
# Installs from Debian's packages what floveran needs and this machine lacks.
#
#   bash .ci/install-deps.sh build   CMake, Ninja and the GNU C++ compiler (cmake,
#                                    ninja-build, g++): all that building the tool
#                                    needs (the tool preset)
#   bash .ci/install-deps.sh test    the same, and what the tests, the benchmarks,
#                                    the clang, sanitizer and fuzz builds and the
#                                    package check need: GoogleTest, Google
#                                    Benchmark, clang with its fuzzer runtime,
#                                    dpkg-dev, lintian, man-db, groff and GNU parallel
#   bash .ci/install-deps.sh windows the build tools, and what the Windows build (the
#                                    windows preset) needs: the MinGW-w64 cross
#                                    compiler (g++-mingw-w64-x86-64-posix),
#                                    GoogleTest's source (googletest), Wine to run
#                                    the tests (wine64) and groff for the manual
#                                    page of the ZIP package (groff-base)
#
# Each tool is looked for first and its package installed only when the tool is
# missing, so a second run installs nothing. Run it as root, or as a user who may
# use sudo: apt-get is then called through sudo, and only when something is missing.
set -euo pipefail

usage() {
  echo "usage: $0 build|test|windows" >&2
  exit 2
}
[ $# -eq 1 ] || usage
case "$1" in
  build | test | windows) part=$1 ;;
  *) usage ;;
esac

need=()

# Building the tool.
command -v cmake >/dev/null || need+=(cmake)
command -v ninja >/dev/null || need+=(ninja-build)
command -v g++ >/dev/null || need+=(g++)

if [ "$part" = test ]; then
  # Unit and end-to-end tests; the benchmark programs.
  [ -e /usr/lib/x86_64-linux-gnu/cmake/GTest ] || [ -e /usr/lib/cmake/GTest ] ||
    need+=(libgtest-dev libgmock-dev)
  [ -e /usr/lib/x86_64-linux-gnu/cmake/benchmark ] || [ -e /usr/lib/cmake/benchmark ] ||
    need+=(libbenchmark-dev)
  # The clang build and the fuzz targets (libFuzzer's runtime comes apart from clang).
  command -v clang++ >/dev/null || need+=(clang)
  compgen -G "/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" >/dev/null ||
    need+=(libclang-rt-dev)
  # The package check: dpkg-shlibdeps states the versions of the package's
  # dependencies (dpkg-deb alone is on every Debian system and builds the package
  # without them); lintian checks the package; man and groff render the manual page.
  command -v dpkg-shlibdeps >/dev/null || need+=(dpkg-dev)
  command -v lintian >/dev/null || need+=(lintian)
  command -v man >/dev/null || need+=(man-db)
  command -v groff >/dev/null || need+=(groff-base)
  # The README's GNU parallel example (moreutils has a parallel of its own).
  { command -v parallel >/dev/null && parallel --version 2>/dev/null | grep -q 'GNU parallel'; } ||
    need+=(parallel)
fi

if [ "$part" = windows ]; then
  # The cross compiler with POSIX threads (C++ threads in the tests).
  command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64-posix)
  # GoogleTest compiled from its source with the cross compiler.
  [ -e /usr/src/googletest/googletest/CMakeLists.txt ] || need+=(googletest)
  # The test programs run under wine64 (Debian puts it in /usr/lib/wine).
  { command -v wine64 >/dev/null || [ -x /usr/lib/wine/wine64 ]; } || need+=(wine64)
  # The manual page as text in the ZIP package.
  command -v groff >/dev/null || need+=(groff-base)
fi

if [ ${#need[@]} -eq 0 ]; then
  echo "install-deps ($part): nothing to install"
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null; then
  as_root=(sudo)
else
  echo "install-deps ($part): ${need[*]} must be installed, which needs root; run this as root or install sudo" >&2
  exit 1
fi

echo "install-deps ($part): installing ${need[*]}"
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y -q --no-install-recommends "${need[@]}"
