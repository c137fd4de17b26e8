#!/usr/bin/env bash
# The Windows build: korvelin.exe cross-built with MinGW-w64, its unit tests
# and every end-to-end scenario run under Wine. From a clean clone, as root,
# without standard input.
set -euo pipefail
cd "$(dirname "$0")/.."
exec </dev/null

packages=(cmake ninja-build libgtest-dev g++-mingw-w64-x86-64 wine wine64)
missing=()
for package in "${packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [ "${#missing[@]}" -gt 0 ]; then
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

# A prefix of this run's own, removed at the end; Wine servers started here
# (root's, and the one of the user that permission scenarios run as) are
# stopped again.
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/korvelin-wine.XXXXXX")
export WINEPREFIX WINEDEBUG=-all
launcher=$PWD/cmake/toolchains/wine-run.sh
as_nobody=()
if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null; then
  as_nobody=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)
fi
finish() {
  "$launcher" --stop || true
  if [ "${#as_nobody[@]}" -gt 0 ]; then
    (cd / && "${as_nobody[@]}" "$launcher" --stop) || true
  fi
  rm -rf "$WINEPREFIX"
}
trap finish EXIT

echo "==> starting Wine"
start=$SECONDS
"$launcher" --start
if [ "${#as_nobody[@]}" -gt 0 ]; then
  (cd / && "${as_nobody[@]}" "$launcher" --start)
fi
echo "Wine ready in $((SECONDS - start)) s"

echo "==> the windows-cross configure, build and test presets"
cmake --preset windows-cross
cmake --build --preset windows-cross
# The test preset sets a timeout per test; a hung Wine would otherwise hold
# the run until CI's own limit.
ctest --preset windows-cross --timeout 120

# ---------------------------------------------------------------------------
# The .zip for Windows users: korvelin.exe with its documentation and the
# example, as the install rules lay them out (bin/, share/doc/korvelin/).
echo "==> Windows .zip"
rm -f build/windows-cross/korvelin-*-win64.zip
(cd build/windows-cross && cpack -G ZIP)
zip=$(echo build/windows-cross/korvelin-*-win64.zip)
listing=$(cmake -E tar tf "$zip")
for entry in bin/korvelin.exe share/doc/korvelin/README.md \
  share/doc/korvelin/examples/gd/KORVELIN.inp share/man/man1/korvelin.1; do
  grep -q "/$entry\$" <<<"$listing" || { echo "$zip lacks $entry"; exit 1; }
done
echo "$zip: $(grep -c -v '/$' <<<"$listing") files"
