#!/usr/bin/env bash
# Renders both plots of the example table with rsvg-convert and checks that
# each becomes a PNG of the SVG's size. Exit 77 (skipped) without the tool:
# Debian's librsvg2-bin provides it.
#   render_check.sh KORVELIN_REPORT TABLE WIDTH HEIGHT
set -eu
report=$1 table=$2 width=$3 height=$4
if ! command -v rsvg-convert >/dev/null 2>&1; then
  echo "rsvg-convert not found (Debian package librsvg2-bin): render check skipped"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$report" --svg "$work/curves.svg" --svg-fields "$work/fields.svg" "$table" >/dev/null
for plot in curves fields; do
  rsvg-convert --format=png --output="$work/$plot.png" "$work/$plot.svg"
  # The PNG signature, then the IHDR chunk: width and height, big-endian.
  signature=$(od -An -tx1 -N8 "$work/$plot.png" | tr -d ' \n')
  if [ "$signature" != "89504e470d0a1a0a" ]; then
    echo "$plot: rsvg-convert did not write a PNG"
    exit 1
  fi
  size=$(od -An -tu1 -j16 -N8 "$work/$plot.png" | awk '{
    print ($1 * 16777216 + $2 * 65536 + $3 * 256 + $4) "x" ($5 * 16777216 + $6 * 65536 + $7 * 256 + $8) }')
  if [ "$size" != "${width}x${height}" ]; then
    echo "$plot: PNG is $size, expected ${width}x${height}"
    exit 1
  fi
  echo "$plot: $(stat -c %s "$work/$plot.svg") bytes of SVG render to a ${size} PNG"
done
