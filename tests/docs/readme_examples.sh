#!/usr/bin/env bash
# Runs every example block of README.md (a ```sh block right after an
# "<!-- example -->" line) in a fresh folder holding a copy of examples/, with the
# built floveran first on the PATH. Fails when a block fails or when no block is
# found, so the README cannot go stale.
# usage: readme_examples.sh <repo root> <folder of the floveran binary>
set -euo pipefail
root=$1
bin_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$root/examples" "$work/examples"
export PATH="$bin_dir:$PATH"

blocks=$(awk -v dir="$work" '
  /^<!-- example -->$/ { armed = 1; next }
  armed && /^```sh$/ { inside = 1; n++; file = dir "/block" n ".sh"; armed = 0; next }
  inside && /^```$/ { inside = 0; close(file); next }
  inside { print > file; next }
  { armed = 0 }
  END { print n + 0 }
' "$root/README.md")
[ "$blocks" -gt 0 ] || { echo "no example blocks found in README.md"; exit 1; }

cd "$work"
for i in $(seq 1 "$blocks"); do
  echo "--- example $i"
  cat "block$i.sh"
  if ! bash -euo pipefail "block$i.sh" > "block$i.log" 2>&1; then
    cat "block$i.log"
    echo "example $i failed"
    exit 1
  fi
done
echo "$blocks examples passed"
