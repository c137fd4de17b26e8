#!/usr/bin/env bash
# End to end for one export variant:
#   check names the variant's problem (and nothing for the clean one),
#   convert writes files without touching the exports,
#   korvelin on the converted files gives the model's table,
#   korvelin on the raw exports gives a wrong one (the clean one excepted).
#
#   e2e_test.sh KORVELIN KORVELIN_PREP MAKE_PREP_VARIANTS VARIANT WORK_DIR
#
# Tolerance per cell: 0.12 J/(kg K) + 1 % of the model's value. korvelin's
# trapezoids on the 500 Oe steps of these exports miss the curvature of the
# magnetisation below 0.5 T by up to 0.09 J/(kg K) next to the Curie point
# (the model integrated on both grids differs by that much), and the
# +-0.05 K scatter of each point's temperature adds about 0.03. A raw export
# misread in any of the ways tested is off by far more in most cells.
set -u
korvelin=$1
prep=$2
generator=$3
variant=$4
work=$5
tolerance_abs=0.12
tolerance_rel=0.01

fail() {
  echo "FAIL: $*"
  exit 1
}

rm -rf "$work"
mkdir -p "$work"
"$generator" write "$work/exports" || fail "generator"
exports="$work/exports/$variant"
[ -d "$exports" ] || fail "no exports for variant $variant"

case $variant in
  clean) expected_code= ; expected_status=0 ;;
  temperature-first) expected_code=column-order ; expected_status=1 ;;
  empty-moment) expected_code=empty-column ; expected_status=1 ;;
  drift) expected_code=temperature-window ; expected_status=1 ;;
  swept) expected_code=capacity ; expected_status=1 ;;
  header-numbers) expected_code=header-measurement ; expected_status=1 ;;
  *) fail "unknown variant $variant" ;;
esac

echo "==> check"
status=0
"$prep" check "$exports"/*.dat >"$work/check.txt" 2>&1 || status=$?
cat "$work/check.txt"
[ "$status" -eq "$expected_status" ] || fail "check exit status $status, expected $expected_status"
if [ -n "$expected_code" ]; then
  count=$(grep -c "problem: .*\[$expected_code\]" "$work/check.txt")
  [ "$count" -eq 6 ] || fail "check names [$expected_code] in $count of 6 files"
else
  grep -q "problem:" "$work/check.txt" && fail "check finds a problem in the clean exports"
fi

echo "==> convert"
(cd "$exports" && sha256sum -- * >"$work/exports.sha256")
"$prep" convert --out "$work/converted" "$exports"/*.dat || fail "convert"
(cd "$exports" && sha256sum --quiet -c "$work/exports.sha256") || fail "convert changed an export"
# Header lines of a converted file must be words only.
for file in "$work/converted"/T*.dat; do
  head -n 4 "$file" | grep -q '[0-9/"]' && fail "$file: digits, slashes or quotes in the header"
done

echo "==> korvelin on the converted files"
(cd "$work/converted" && "$korvelin" </dev/null >korvelin.log 2>&1) || fail "korvelin on converted files"
cat "$work/converted/KORVELIN.dat"
"$generator" compare "$work/converted" "$tolerance_abs" "$tolerance_rel" ||
  fail "converted table differs from the model"

echo "==> korvelin on the raw exports"
cp -a "$exports" "$work/raw"
(cd "$work/raw" && "$korvelin" </dev/null >korvelin.log 2>&1) || fail "korvelin on raw exports"
cat "$work/raw/KORVELIN.dat"
status=0
"$generator" compare "$work/raw" "$tolerance_abs" "$tolerance_rel" || status=$?
if [ "$variant" = clean ]; then
  [ "$status" -eq 0 ] || fail "raw clean table differs from the model"
else
  [ "$status" -eq 1 ] || fail "raw $variant table matches the model; the variant shows nothing"
fi
echo "ok: $variant"
