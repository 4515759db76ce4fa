#!/usr/bin/env bash
# Runs the examples of README.md against the built floveran, so that the README
# cannot go stale.
#
#   readme_examples.sh <repo root> <folder of the floveran binary>
#
# What counts as an example, in README.md:
#   <!-- example -->               the ```sh block on the next line is run;
#   <!-- example if: COMMAND -->   the same, but only where the shell command
#                                  COMMAND succeeds (a probe for a program that
#                                  may be missing); otherwise reported as skipped;
#   <!-- output -->                the fenced block on the next line is the
#                                  standard output of the last example block
#                                  above it, compared line by line.
# A ```sh block without an example line in front of it is an error: every sh
# block of the README is run. Blocks fenced as ```shell (building the tool,
# installing it) are shown, not run; the workflow and the package_install test
# run those commands themselves.
#
# The blocks run one after another with `bash -euo pipefail`, in one fresh folder
# holding a copy of examples/, with the built floveran first on the PATH; a later
# block may use the files of an earlier one. Before the comparison the CR of each
# CR LF line end is dropped from the output, and so are blanks at the end of a
# line (in the output and in the README), since a terminal shows neither.
#
# With FLOVERAN_SYSTEM_TEXTS=foreign in the environment (the Windows build, whose
# system words its errors its own way), a reason that is the system's text, in a
# line "floveran: cannot ...: <text>" whose text begins with a capital letter, is
# compared as "<system text>" on both sides; the tool's own reasons begin in
# lower case and are compared as they are.
set -euo pipefail
root=$(cd "$1" && pwd)
bin_dir=$(cd "$2" && pwd)
readme=$root/README.md
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$root/examples" "$work/examples"
export PATH="$bin_dir:$PATH"
if [ "$(command -v floveran)" != "$bin_dir/floveran" ]; then
  echo "floveran on the PATH is $(command -v floveran), not $bin_dir/floveran"
  exit 1
fi

# Splits the README into block<N>.sh, block<N>.probe (the condition of an
# example, when it has one) and block<N>.expected; prints the number of blocks.
# Any misplaced marker or unmarked sh block ends the parse with an error.
blocks=$(awk -v dir="$work" '
  function fail(message) { print "README.md line " NR ": " message > "/dev/stderr"; bad = 1; exit 1 }
  inside {
    if ($0 == "```") { inside = 0; close(file); next }
    print > file
    next
  }
  /^<!-- example -->$/ { want = "example"; probe = ""; next }
  /^<!-- example if: .+ -->$/ {
    want = "example"
    probe = substr($0, 18, length($0) - 21)
    next
  }
  /^<!-- output -->$/ {
    if (n == 0) fail("an output block with no example block above it")
    if (has_output[n]) fail("a second output block for example " n)
    want = "output"
    next
  }
  want == "example" {
    if ($0 != "```sh") fail("an example marker not followed by a ```sh block")
    n++; file = dir "/block" n ".sh"; printf "" > file
    if (probe != "") { print probe > (dir "/block" n ".probe"); close(dir "/block" n ".probe") }
    inside = 1; want = ""
    next
  }
  want == "output" {
    if ($0 !~ /^```[a-z]*$/) fail("an output marker not followed by a fenced block")
    file = dir "/block" n ".expected"; printf "" > file; has_output[n] = 1
    inside = 1; want = ""
    next
  }
  /^```sh$/ { fail("a ```sh block without <!-- example --> in front of it; fence it as ```shell if it is not to be run") }
  /^<!--.*-->$/ && /example|output/ { fail("an unknown marker: " $0) }
  END {
    if (bad) exit 1
    if (inside) fail("a block that is not closed at the end of the file")
    print n + 0
  }
' "$readme")
[ "$blocks" -gt 0 ] || { echo "no example blocks found in README.md"; exit 1; }

cd "$work"
ran=0
skipped=0
for i in $(seq 1 "$blocks"); do
  echo "--- example $i"
  cat "block$i.sh"
  if [ -f "block$i.probe" ] && ! bash "block$i.probe" > /dev/null 2>&1; then
    echo "(skipped: this machine fails the condition: $(cat "block$i.probe"))"
    skipped=$((skipped + 1))
    continue
  fi
  if ! bash -euo pipefail "block$i.sh" > "block$i.out" 2> "block$i.err"; then
    cat "block$i.out" "block$i.err"
    echo "example $i failed"
    exit 1
  fi
  if [ -f "block$i.expected" ]; then
    sed 's/\r$//; s/ *$//' "block$i.out" > "block$i.seen"
    sed 's/ *$//' "block$i.expected" > "block$i.wanted"
    if [ "${FLOVERAN_SYSTEM_TEXTS:-}" = foreign ]; then
      sed -i -E 's/^(floveran: cannot .*": )[A-Z].*$/\1<system text>/' "block$i.seen" "block$i.wanted"
    fi
    if ! diff -u --label README.md --label "output of example $i" \
        "block$i.wanted" "block$i.seen"; then
      echo "example $i printed other output than README.md shows"
      exit 1
    fi
  fi
  ran=$((ran + 1))
done
echo "$ran examples passed, $skipped skipped"
