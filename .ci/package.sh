#!/usr/bin/env bash
# The Debian package, as a user gets it: built from the release preset with
# its dependencies computed from the binaries, installed with apt-get, the
# installed korvelin and korvelin-report run on the installed example in a
# scratch folder, then removed again with nothing of it left. The manual
# pages are checked for formatter warnings on the way. From a clean clone,
# as root, without standard input.
set -euo pipefail
cd "$(dirname "$0")/.."
exec </dev/null
export DEBIAN_FRONTEND=noninteractive

# The release build (with its tests); dpkg-shlibdeps (dpkg-dev) computes the
# package's dependencies; groff and man-db format the manual pages.
packages=(cmake ninja-build g++ libgtest-dev libgmock-dev dpkg-dev groff man-db)
missing=()
for package in "${packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [ "${#missing[@]}" -gt 0 ]; then
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi

fail() {
  echo "package: $*" >&2
  exit 1
}

echo "==> manual pages"
version=$(sed -n 's/^project(korvelin VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "no project version in CMakeLists.txt"
for page in docs/man/korvelin.1 docs/man/korvelin-report.1 docs/man/korvelin-prep.1; do
  # Every warning category, on the devices a reader may meet: PostScript,
  # a UTF-8 terminal and a plain ASCII one.
  for device in ps utf8 ascii; do
    warnings=$(groff -ww -man -T"$device" -z "$page" 2>&1)
    [ -z "$warnings" ] || fail "groff -T$device warns on $page:"$'\n'"$warnings"
  done
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man --warnings warns on $page:"$'\n'"$warnings"
  grep -q "^\.TH .* \"korvelin $version\"" "$page" ||
    fail "$page does not name korvelin $version in its .TH line"
done
echo "3 manual pages without warnings"

echo "==> release build and Debian package"
cmake --preset release
cmake --build --preset release
rm -f build/release/korvelin_*.deb
(cd build/release && cpack -G DEB)
debs=(build/release/korvelin_*.deb)
[ "${#debs[@]}" -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one korvelin_*.deb, got: ${debs[*]}"
deb=${debs[0]}
dpkg-deb --info "$deb"
depends=$(dpkg-deb --field "$deb" Depends)
echo "Depends: $depends"
# Every program needs at least the C library; a package without computed
# dependencies would install where the programs cannot run.
case "$depends" in
  *"libc6 (>="*) ;;
  *) fail "dependencies not computed from the binaries: '$depends'" ;;
esac

# Exactly the installed tree: three programs, three manual pages, the
# documentation with the example; nothing from the build or the sources.
contents=$(dpkg-deb --contents "$deb" | awk '{print $NF}' | sed 's|^\./|/|' | grep -v '/$' | sort)
expected=$( {
  printf '%s\n' /usr/bin/korvelin /usr/bin/korvelin-report /usr/bin/korvelin-prep
  printf '/usr/share/man/man1/%s\n' korvelin.1 korvelin-report.1 korvelin-prep.1
  echo /usr/share/doc/korvelin/README.md
  for image in docs/*.png; do
    [ -e "$image" ] && echo "/usr/share/doc/korvelin/$image"
  done
  for file in examples/gd/*; do
    echo "/usr/share/doc/korvelin/$file"
  done
} | sort)
if [ "$contents" != "$expected" ]; then
  diff <(echo "$expected") <(echo "$contents") >&2 || true
  fail "package contents differ from the expected files (< expected, > packaged)"
fi
echo "package holds the $(echo "$contents" | wc -l) expected files"

echo "==> install, run and remove"
# A korvelin left installed by an earlier run would hide a broken install.
if dpkg -s korvelin >/dev/null 2>&1; then
  apt-get remove -y korvelin
fi
scratch=$(mktemp -d "${TMPDIR:-/tmp}/korvelin-package.XXXXXX")
installed=0
cleanup() {
  if [ "$installed" = 1 ]; then
    apt-get remove -y korvelin >/dev/null 2>&1 || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT

apt-get install -y "./$deb"
installed=1
[ -x /usr/bin/korvelin ] || fail "/usr/bin/korvelin not installed"
# Slimmed images tell dpkg to leave out documentation and manual pages.
[ -d /usr/share/doc/korvelin/examples/gd ] && [ -f /usr/share/man/man1/korvelin.1 ] ||
  fail "documentation not unpacked; see path-exclude in /etc/dpkg/dpkg.cfg.d/"
[ "$(man -w korvelin)" = /usr/share/man/man1/korvelin.1 ] || fail "man cannot find korvelin(1)"
man korvelin-report >/dev/null 2>&1 || fail "man korvelin-report fails"
man korvelin-prep >/dev/null 2>&1 || fail "man korvelin-prep fails"

cp -r /usr/share/doc/korvelin/examples/gd "$scratch/gd"
# The control file's line 2 holds the field count; lines 4, 6, ... the
# temperatures.
fields=$(tr -d '\r' <"$scratch/gd/KORVELIN.inp" | awk 'NR == 2 {print $1}')
temperatures=$(tr -d '\r' <"$scratch/gd/KORVELIN.inp" | awk 'NR > 3 && NR % 2 == 0 && NF > 0' | wc -l)
status=0
(cd "$scratch/gd" && /usr/bin/korvelin </dev/null >console.log 2>errors.log) || status=$?
[ "$status" -eq 0 ] || { cat "$scratch/gd/errors.log" >&2; fail "installed korvelin exited with $status"; }
[ ! -s "$scratch/gd/errors.log" ] || fail "installed korvelin wrote to standard error"
table=$scratch/gd/KORVELIN.dat
# A heading and one row per neighbouring pair of temperatures, each line
# 8 + 13 characters per target field, CR LF ended.
[ "$(wc -l <"$table")" -eq "$temperatures" ] ||
  fail "KORVELIN.dat has $(wc -l <"$table") lines, expected $temperatures"
width=$((8 + 13 * fields + 2))
bad=$(awk -v width="$width" 'length($0) + 1 != width' "$table" | head -n 3)
[ -z "$bad" ] || fail "KORVELIN.dat lines not $width bytes long: $bad"
pauses=$(grep -c '^Pause - Please enter a blank line' "$scratch/gd/console.log")
[ "$pauses" -eq $((temperatures + 1)) ] || fail "$pauses pauses, expected $((temperatures + 1))"
echo "installed korvelin: status 0, table of $temperatures lines, $pauses pauses"

(cd "$scratch/gd" && /usr/bin/korvelin-report --inp KORVELIN.inp --csv figures.csv --svg curves.svg) \
  >"$scratch/report.txt"
cat "$scratch/report.txt"
grep -q "^  $((temperatures - 1)) rows from " "$scratch/report.txt" || fail "korvelin-report summary lacks the row count"
[ "$(wc -l <"$scratch/gd/figures.csv")" -eq $((fields + 1)) ] || fail "figures.csv is not one line per field"
grep -q '<svg' "$scratch/gd/curves.svg" || fail "curves.svg is no SVG"
/usr/bin/korvelin-prep check "$scratch/gd/gd_290.0K.dat" >/dev/null || fail "installed korvelin-prep check fails"

apt-get remove -y korvelin
installed=0
if dpkg -s korvelin 2>/dev/null | grep -q '^Status: install'; then
  fail "korvelin still installed after removal"
fi
[ -z "$(dpkg -L korvelin 2>/dev/null)" ] || fail "dpkg still lists files of korvelin"
while read -r file; do
  [ ! -e "$file" ] || fail "$file left after removal"
done <<<"$expected"
[ ! -e /usr/share/doc/korvelin ] || fail "/usr/share/doc/korvelin left after removal"
echo "korvelin installed, run and removed cleanly"
