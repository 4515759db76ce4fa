#!/usr/bin/env bash
# Installs what building and testing floveran needs, from Debian's packages, when
# it is not there yet. Safe to run again: present tools are left alone.
set -euo pipefail

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v ninja >/dev/null || need+=(ninja-build)
command -v g++ >/dev/null || need+=(g++)
command -v clang++ >/dev/null || need+=(clang)
[ -e /usr/lib/x86_64-linux-gnu/cmake/GTest ] || [ -e /usr/lib/cmake/GTest ] || need+=(libgtest-dev libgmock-dev)
[ -e /usr/lib/x86_64-linux-gnu/cmake/benchmark ] || [ -e /usr/lib/cmake/benchmark ] || need+=(libbenchmark-dev)
compgen -G "/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" >/dev/null || need+=(libclang-rt-dev)
command -v dpkg-deb >/dev/null || need+=(dpkg-dev)
command -v man >/dev/null || need+=(man-db)
command -v groff >/dev/null || need+=(groff-base)

if [ ${#need[@]} -gt 0 ]; then
  echo "installing: ${need[*]}"
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${need[@]}"
fi
