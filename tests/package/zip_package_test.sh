#!/usr/bin/env bash
# Checks the Windows ZIP package of a Windows build: builds it with cpack, checks
# that it holds exactly the folder floveran-<version>-windows-x86_64 with
# floveran.exe, README.md, LICENSE.txt and floveran.txt (text files with CR LF
# line ends), that the .exe imports no DLL beyond those of Windows itself, and
# that the unpacked .exe, run through the emulator, converts the example table
# into the shipped result byte for byte.
#
#   zip_package_test.sh BUILD_DIR SOURCE_DIR EMULATOR...
#
# CPACK and OBJDUMP in the environment name cpack and the target's objdump.
set -uo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
shift 2
emulator=("$@")
cpack=${CPACK:-cpack}
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}

failures=0
ok() { echo "ok: $*"; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! (cd "$work" && "$cpack" -G ZIP --config "$build/CPackConfig.cmake" -B "$work/out" > cpack.log 2>&1); then
  cat "$work/cpack.log"
  fail "cpack -G ZIP failed"
  exit 1
fi
zips=("$work"/out/floveran-*-windows-x86_64.zip)
[ -f "${zips[0]}" ] || { fail "no floveran-*-windows-x86_64.zip made"; exit 1; }
zip=${zips[0]}
ok "cpack made $(basename "$zip")"

folder=$(basename "$zip" .zip)
expected=$(printf '%s\n' "$folder/LICENSE.txt" "$folder/README.md" "$folder/floveran.exe" "$folder/floveran.txt")
mkdir "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "$zip") || fail "the package does not unpack"
listed=$(cd "$work/unpacked" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
if [ "$listed" = "$expected" ]; then
  ok "files: $(echo "$listed" | tr '\n' ' ')"
else
  fail "the package holds other files than $(echo "$expected" | tr '\n' ' '):"
  echo "$listed"
fi

for text in README.md LICENSE.txt floveran.txt; do
  file=$work/unpacked/$folder/$text
  [ -s "$file" ] || { fail "$text is missing or empty"; continue; }
  if grep -q $'[^\r]$' "$file" || [ "$(tail -c 1 "$file" | od -An -c | tr -d ' ')" != '\n' ]; then
    fail "$text has lines without CR LF"
  else
    ok "$text has CR LF line ends"
  fi
done
grep -q "SYNOPSIS" "$work/unpacked/$folder/floveran.txt" && ok "floveran.txt is the manual page" ||
  fail "floveran.txt does not hold the manual page"

exe=$work/unpacked/$folder/floveran.exe
# The DLLs that every Windows has; the C++ and GCC runtimes must be linked in.
dlls=$("$objdump" -p "$exe" | awk '/DLL Name:/ {print $3}')
unexpected=$(echo "$dlls" | grep -Eiv '^(KERNEL32|msvcrt|SHELL32|ucrtbase|api-ms-win-crt-[a-z0-9-]+)\.dll$' || true)
if [ -z "$dlls" ]; then
  fail "objdump found no imports in floveran.exe"
elif [ -n "$unexpected" ]; then
  fail "floveran.exe imports DLLs that Windows does not have: $unexpected"
else
  ok "imports only $(echo "$dlls" | tr '\n' ' ')"
fi

mkdir -p "$work/run/examples"
cp "$source/examples/kinzig_hourly.txt" "$work/run/examples/"
if (cd "$work/run" && "${emulator[@]}" "$exe" examples/kinzig_hourly.txt kinzig_mm.txt > console.txt); then
  if cmp -s "$work/run/kinzig_mm.txt" "$source/examples/kinzig_hourly_mm.txt"; then
    ok "the unpacked floveran.exe converts the example into examples/kinzig_hourly_mm.txt byte for byte"
  else
    fail "the unpacked floveran.exe converts the example into other bytes"
  fi
else
  fail "the unpacked floveran.exe failed on the example: $(cat "$work/run/console.txt")"
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures checks failed"
  exit 1
fi
echo "the Windows package is complete"
