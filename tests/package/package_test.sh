#!/usr/bin/env bash
# Install and package test of floveran.
#
#   package_test.sh BUILD_DIR SOURCE_DIR
#
# From a configured and built BUILD_DIR it
#   1. installs the project with `cmake --install BUILD_DIR --prefix TMP` and checks
#      that exactly bin/floveran, share/doc/floveran/LICENSE and
#      share/man/man1/floveran.1 are installed;
#   2. builds the Debian package with `cpack -G DEB` into a temporary folder and
#      checks its control fields (Depends with the versions that dpkg-shlibdeps
#      finds, where it is installed), its file list, its md5sums, its copyright
#      file (Debian's machine-readable format, holding the MIT licence of LICENSE
#      and its holder) and its changelog; runs lintian on it, where lintian is
#      installed, and fails on any error or warning;
#   3. unpacks the package with `dpkg -x` into a temporary root and runs the
#      unpacked binary: on a small table whose converted bytes are known, on the
#      shipped hourly example (output and console compared with the golden file
#      examples/kinzig_hourly_mm.txt), and on every other table shipped in
#      SOURCE_DIR/examples;
#   4. renders the unpacked manual page with `man -l` (and checks it for groff
#      warnings), where man and groff are there.
# Exit status 0 when all checks pass, 1 when one fails, 77 (skipped) only when
# dpkg-deb or dpkg is missing, so that no Debian package can be built or
# unpacked. Everything else that goes wrong is a failure. CMAKE and CPACK may
# name the programs to use.
set -u

build_dir=${1:?usage: package_test.sh BUILD_DIR SOURCE_DIR}
source_dir=${2:?usage: package_test.sh BUILD_DIR SOURCE_DIR}
cmake_command=${CMAKE:-cmake}
cpack_command=${CPACK:-cpack}

for tool in dpkg-deb dpkg; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "SKIP: $tool is not installed, no Debian package can be built or unpacked"
    exit 77
  fi
done
# cpack comes with cmake: when it is missing, the build is broken, not the machine
# short of a packaging tool.
if ! command -v "$cpack_command" >/dev/null 2>&1; then
  echo "FAIL: cpack ($cpack_command) is not there"
  exit 1
fi
if [[ ! -f "$build_dir/CPackConfig.cmake" ]]; then
  echo "FAIL: $build_dir/CPackConfig.cmake is missing (is $build_dir configured?)"
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/floveran_package.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
pass() { echo "ok: $*"; }
# A step that the later checks depend on went wrong: stop here.
die() {
  echo "FAIL: $*"
  exit 1
}

# The regular files below a folder, as paths relative to it, sorted.
files_below() { (cd "$1" && find . \( -type f -o -type l \) | sed 's|^\./||' | LC_ALL=C sort); }

# --- 1. cmake --install -----------------------------------------------------------
if "$cmake_command" --install "$build_dir" --prefix "$work/prefix" >"$work/install.log" 2>&1; then
  installed=$(files_below "$work/prefix")
  expected=$'bin/floveran\nshare/doc/floveran/LICENSE\nshare/man/man1/floveran.1'
  if [[ "$installed" == "$expected" ]]; then
    pass "cmake --install gives ${expected//$'\n'/, }"
  else
    fail "cmake --install gives other files than ${expected//$'\n'/, }:"
    echo "$installed"
  fi
  [[ -x "$work/prefix/bin/floveran" ]] || fail "installed bin/floveran is not executable"
  if ! cmp -s "$work/prefix/share/man/man1/floveran.1" "$source_dir/doc/floveran.1"; then
    fail "installed manual page differs from doc/floveran.1"
  fi
  if ! cmp -s "$work/prefix/share/doc/floveran/LICENSE" "$source_dir/LICENSE"; then
    fail "installed share/doc/floveran/LICENSE differs from LICENSE"
  fi
else
  fail "cmake --install $build_dir failed:"
  cat "$work/install.log"
fi

# --- 2. cpack -G DEB ---------------------------------------------------------------
if ! "$cpack_command" --config "$build_dir/CPackConfig.cmake" -G DEB -B "$work/package" \
    >"$work/cpack.log" 2>&1; then
  fail "cpack -G DEB failed:"
  cat "$work/cpack.log"
  exit 1
fi
shopt -s nullglob
debs=("$work"/package/*.deb)
shopt -u nullglob
if [[ ${#debs[@]} -ne 1 ]]; then
  fail "cpack made ${#debs[@]} .deb files instead of one"
  ls -l "$work/package"
  exit 1
fi
deb=${debs[0]}
pass "cpack made $(basename "$deb")"

field() { dpkg-deb --field "$deb" "$1"; }
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build_dir/CPackConfig.cmake")
architecture=$(dpkg --print-architecture)
[[ "$(field Package)" == floveran ]] || fail "Package is '$(field Package)', not floveran"
[[ -n "$version" && "$(field Version)" == "$version" ]] ||
  fail "Version is '$(field Version)', not the project version '$version'"
[[ "$(field Section)" == science ]] || fail "Section is '$(field Section)', not science"
[[ "$(field Architecture)" == "$architecture" ]] ||
  fail "Architecture is '$(field Architecture)', not '$architecture'"
[[ -n "$(field Maintainer)" ]] || fail "Maintainer is empty"
description=$(field Description)
if [[ $(printf '%s\n' "$description" | wc -l) -lt 2 || -z "${description%%$'\n'*}" ]]; then
  fail "Description lacks a one-line summary and a longer text: '$description'"
fi
# Only the C and C++ runtime (and the compiler's support library, which the C++
# runtime itself needs) may be required.
# Where dpkg-shlibdeps is installed, the build derives each dependency's version
# from the symbols the binary uses; without it the names stand alone.
depends=$(field Depends)
[[ -n "$depends" ]] || fail "Depends is empty: the C and C++ runtime libraries are needed"
command -v dpkg-shlibdeps >/dev/null 2>&1 && versioned=1 || versioned=0
[[ $versioned -eq 1 ]] || echo "note: dpkg-shlibdeps is not installed, Depends is not checked for versions"
IFS=',' read -r -a depend_list <<<"$depends"
for entry in "${depend_list[@]}"; do
  name=$(sed 's/^ *//; s/[ (].*$//' <<<"$entry")
  case "$name" in
    libc6 | libstdc++6 | libgcc-s1) ;;
    *) fail "unexpected dependency '$name' in Depends: $depends" ;;
  esac
  if [[ $versioned -eq 1 ]] && ! grep -Eq '^ *[a-z0-9.+-]+ \(>= [0-9][^)]*\) *$' <<<"$entry"; then
    fail "dependency '$entry' states no version (>= ...), though dpkg-shlibdeps is installed"
  fi
done
grep -Eq '(^|, *)libc6( |,|$)' <<<"$depends" || fail "Depends does not name libc6: $depends"
pass "control fields: $(field Package) $(field Version) $(field Architecture), Depends: $depends"

# The manual page is packed compressed when the build found gzip (then
# CPackConfig.cmake names it), as it is on every Debian system.
# So is the changelog.
if grep -q '^set(CPACK_FLOVERAN_GZIP "..*")$' "$build_dir/CPackConfig.cmake"; then
  page_in_package=usr/share/man/man1/floveran.1.gz
  changelog_in_package=usr/share/doc/floveran/changelog.gz
else
  page_in_package=usr/share/man/man1/floveran.1
  changelog_in_package=usr/share/doc/floveran/changelog
fi
copyright_in_package=usr/share/doc/floveran/copyright

# --- 3. dpkg -x and a run of the unpacked binary -----------------------------------
root="$work/root"
dpkg -x "$deb" "$root" || die "dpkg -x $(basename "$deb") failed"
packaged=$(files_below "$root")
expected=$(printf '%s\n' usr/bin/floveran "$changelog_in_package" "$copyright_in_package" \
             "$page_in_package" | LC_ALL=C sort)
if [[ "$packaged" == "$expected" ]]; then
  pass "package holds ${expected//$'\n'/, }"
else
  fail "package holds other files than ${expected//$'\n'/, }:"
  echo "$packaged"
fi
dpkg-deb --control "$deb" "$work/control" || die "dpkg-deb --control failed"
if [[ ! -s "$work/control/md5sums" ]]; then
  fail "the package has no md5sums"
elif (cd "$root" && md5sum --check --quiet "$work/control/md5sums"); then
  pass "md5sums match the unpacked files"
else
  fail "md5sums do not match the unpacked files"
fi
binary="$root/usr/bin/floveran"
[[ -x "$binary" ]] || die "usr/bin/floveran is missing from the package or not executable"

# A table of two gauges (100 and 50 km2) with five header lines and two hourly
# records, converted with all defaults: 10 m3/s on 100 km2 is 0.36 mm in the hour,
# 12.5 m3/s 0.45 mm, 3.2 m3/s on 50 km2 0.2304 mm; -9999 is missing.
run_dir="$work/run"
mkdir -p "$run_dir" || die "cannot make $run_dir"
printf '%s\n' 'T' $'YY\tMM\tDD\tHH\t100.0\t50.0' 'gauge' 'unit' 'source' \
  $'2020\t1\t1\t1\t10.0\t-9999' $'2020\t1\t1\t2\t12.5\t3.2' >"$run_dir/two_gauges.txt"
expected_table=$'specific_runoff_from_two_gauges.txt,_output_timestep:_1.00_h,_original:T\r\n'
expected_table+=$'YY\tMM\tDD\tHH\t100.000\t50.000\r\ngauge\r\nunit\r\nsource\r\n'
expected_table+=$'2020\t1\t1\t1\t0.36\t-9999\r\n2020\t1\t1\t2\t0.45\t0.2304\r\n'
(cd "$run_dir" && "$binary" two_gauges.txt two_gauges_mm.txt >console.txt)
status=$?
if [[ $status -ne 0 ]]; then
  fail "unpacked floveran on the two-gauge table: exit status $status, not 0"
elif ! cmp -s "$run_dir/two_gauges_mm.txt" <(printf '%s' "$expected_table"); then
  fail "unpacked floveran on the two-gauge table wrote other bytes than expected:"
  od -c "$run_dir/two_gauges_mm.txt" | head -20
elif ! tail -c 10 "$run_dir/console.txt" | cmp -s - <(printf 'fertig..\r\n'); then
  fail "unpacked floveran did not end its console output with fertig.."
else
  pass "unpacked floveran converts the two-gauge table"
fi

# The shipped example, run as the README runs it (from the top of the tree, so
# that the title line names examples/kinzig_hourly.txt), against its golden file.
# Three weeks of hourly records in March 2023: one month line and 21 dots.
golden="$source_dir/examples/kinzig_hourly_mm.txt"
[[ -f "$golden" && -f "$source_dir/examples/kinzig_hourly.txt" ]] ||
  die "examples/kinzig_hourly.txt or its golden file examples/kinzig_hourly_mm.txt is missing"
mkdir -p "$run_dir/tree/examples" || die "cannot make $run_dir/tree/examples"
cp "$source_dir"/examples/*.txt "$run_dir/tree/examples/" || die "cannot copy examples/"
expected_console=$'floveran: converting discharges from m3/s into specific discharges in mm/timestep or vice versa\r\n'
expected_console+=$'3 columns \r\n\r\nmonth 3/2023 '
expected_console+=$(printf '.%.0s' {1..21})
expected_console+=$'fertig..\r\n'
(cd "$run_dir/tree" && "$binary" examples/kinzig_hourly.txt kinzig_mm.txt >console.txt)
status=$?
if [[ $status -ne 0 ]]; then
  fail "unpacked floveran on examples/kinzig_hourly.txt: exit status $status, not 0"
elif ! cmp "$run_dir/tree/kinzig_mm.txt" "$golden"; then
  fail "unpacked floveran on examples/kinzig_hourly.txt differs from examples/kinzig_hourly_mm.txt"
elif ! cmp -s "$run_dir/tree/console.txt" <(printf '%s' "$expected_console"); then
  fail "unpacked floveran on examples/kinzig_hourly.txt showed another console:"
  od -c "$run_dir/tree/console.txt" | head -20
else
  pass "unpacked floveran converts examples/kinzig_hourly.txt into examples/kinzig_hourly_mm.txt"
fi

# Every shipped table converts to the end with the defaults.
for example in "$run_dir"/tree/examples/*.txt; do
  name=$(basename "$example")
  [[ "$name" == kinzig_hourly.txt ]] && continue
  (cd "$run_dir/tree" && "$binary" "examples/$name" "converted_$name" >"console_$name")
  status=$?
  if [[ $status -ne 0 ]]; then
    fail "unpacked floveran on examples/$name: exit status $status, not 0"
  elif [[ ! -s "$run_dir/tree/converted_$name" ]]; then
    fail "unpacked floveran on examples/$name wrote an empty or no output table"
  elif ! tail -c 10 "$run_dir/tree/console_$name" | cmp -s - <(printf 'fertig..\r\n'); then
    fail "unpacked floveran on examples/$name did not end its console output with fertig.."
  else
    pass "unpacked floveran converts examples/$name"
  fi
done

# The copyright file, in Debian's machine-readable format: one Files paragraph for
# everything, with LICENSE's copyright line, under the Expat licence (the copyright
# format's name of the MIT License), whose stand-alone License paragraph holds the
# text of LICENSE (the lines after its title and copyright line), indented by one
# space, empty lines written as " .".
copyright="$root/$copyright_in_package"
license="$source_dir/LICENSE"
holder=$(sed -n 's/^Copyright (c) //p' "$license")
if [[ ! -f "$copyright" ]]; then
  fail "the package has no $copyright_in_package"
elif [[ "$(head -n 1 "$copyright")" != "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ]]; then
  fail "$copyright_in_package does not start with the Format line of the machine-readable format:"
  head -n 3 "$copyright"
elif [[ "$(sed -n 1p "$license")" != "MIT License" || "$holder" != *" The floveran developers" ]]; then
  fail "LICENSE does not start with 'MIT License' and 'Copyright (c) <year> The floveran developers'"
elif ! grep -qx 'Files: \*' "$copyright" || ! grep -qxF "Copyright: $holder" "$copyright" ||
     [[ $(grep -cx 'License: Expat' "$copyright") -ne 2 ]] || ! grep -q 'MIT License' "$copyright"; then
  fail "$copyright_in_package lacks 'Files: *', 'Copyright: $holder', the Expat licence named twice or the words MIT License:"
  cat "$copyright"
elif ! cmp -s <(awk '
      /^License: Expat$/ { licence_paragraph = (previous == "") ; previous = $0; next }
      /^$/ { licence_paragraph = 0 }
      licence_paragraph { line = substr($0, 2); print (line == "." ? "" : line) }
      { previous = $0 }' "$copyright") <(tail -n +5 "$license"); then
  fail "the License paragraph of $copyright_in_package is not the text of LICENSE:"
  diff <(awk '/^License: Expat$/ { on = 1; next } on { print }' "$copyright") <(tail -n +5 "$license")
else
  pass "$copyright_in_package holds the MIT licence of LICENSE and its holder ($holder)"
fi

# The changelog names the package and the version it was built as.
changelog="$root/$changelog_in_package"
if [[ ! -f "$changelog" ]]; then
  fail "the package has no $changelog_in_package"
elif [[ "$changelog" == *.gz ]] && ! gzip -t "$changelog"; then
  fail "$changelog_in_package is not gzip data"
elif ! first=$( (if [[ "$changelog" == *.gz ]]; then gzip -dc "$changelog"; else cat "$changelog"; fi) |
               head -n 1) || [[ "$first" != "floveran ($version) "* ]]; then
  fail "the top entry of $changelog_in_package is '$first', not floveran ($version): update cmake/debian/changelog"
else
  pass "$changelog_in_package starts with floveran ($version)"
fi

# lintian, Debian's package checker, where it is installed.
if command -v lintian >/dev/null 2>&1; then
  lintian --fail-on error,warning --display-info "$deb" >"$work/lintian.txt" 2>&1
  status=$?
  if [[ $status -ne 0 ]]; then
    fail "lintian reports errors or warnings (exit status $status):"
    grep -v '^running with root privileges' "$work/lintian.txt"
  else
    pass "lintian reports no error and no warning"
    grep -E '^[A-Z]: ' "$work/lintian.txt" | sed 's/^/   /'
  fi
else
  echo "note: lintian is not installed, the package is not checked with it"
fi

# --- 4. the unpacked manual page ---------------------------------------------------
page="$root/$page_in_package"
if [[ ! -f "$page" ]]; then
  fail "the manual page is missing from the package"
elif [[ "$page" == *.gz ]] && ! gzip -dc "$page" | cmp -s - "$source_dir/doc/floveran.1"; then
  fail "the packed manual page is not doc/floveran.1"
elif [[ "$page" != *.gz ]] && ! cmp -s "$page" "$source_dir/doc/floveran.1"; then
  fail "the packed manual page is not doc/floveran.1"
elif ! command -v man >/dev/null 2>&1; then
  echo "note: man is not installed, the manual page is not rendered"
else
  if MANWIDTH=80 LC_ALL=C.UTF-8 man -l "$page" >"$work/man.txt" 2>"$work/man.err" &&
     [[ ! -s "$work/man.err" ]] &&
     grep -q '^NAME' "$work/man.txt" && grep -q '^EXIT STATUS' "$work/man.txt"; then
    pass "man -l renders the unpacked manual page"
  else
    fail "man -l does not render the unpacked manual page cleanly:"
    cat "$work/man.err"
  fi
  if command -v groff >/dev/null 2>&1; then
    if [[ "$page" == *.gz ]]; then
      warnings=$(gzip -dc "$page" | groff -man -Tutf8 -ww -z 2>&1)
    else
      warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
    fi
    if [[ -n "$warnings" ]]; then
      fail "groff warns about the manual page:"
      echo "$warnings"
    else
      pass "groff -ww finds nothing to warn about in the manual page"
    fi
  fi
fi

if [[ $failures -ne 0 ]]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all package checks passed"
exit 0
