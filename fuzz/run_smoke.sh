#!/usr/bin/env bash
# A short fuzz run of every target, for CI: about a minute each, a fixed
# seed, starting from the seed corpora in fuzz/corpus/. Fails on any
# finding: a crash, a divergence, a sanitizer report, a leak or a hang.
# New inputs go to a scratch folder, never into fuzz/corpus/. Inputs that
# once gave a finding (fuzz/regressions/TARGET/) run first.
#
#   fuzz/run_smoke.sh [BUILD_DIR [SECONDS]]      (build/fuzz, 60)
#
# Long runs, one target at a time on both cores; new inputs stay in
# build/findings/corpus-TARGET for the next run, reproducers land in
# build/findings/:
#
#   cmake --preset fuzz && cmake --build --preset fuzz
#   mkdir -p build/findings/corpus-reader
#   build/fuzz/fuzz/fuzz_reader -jobs=2 -workers=2 -runs=50000000 \
#     -max_len=1024 -timeout=10 -print_final_stats=1 \
#     -artifact_prefix=build/findings/ build/findings/corpus-reader fuzz/corpus/reader
#
# -runs counts per job. fuzz_editing takes -max_len=11; fuzz_run
# -max_len=8192 -dict=fuzz/run.dict. A reproducer runs alone:
# build/fuzz/fuzz/fuzz_run FILE; KORVELIN_FUZZ_VERBOSE=1 shows that run's
# console, report and table.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/fuzz}
seconds=${2:-60}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

declare -A max_len=([reader]=4096 [editing]=11 [run]=8192)
declare -A extra=([reader]= [editing]= [run]="-dict=$root/fuzz/run.dict")
failed=()
for target in reader editing run; do
  binary=$build/fuzz/fuzz_$target
  if [ ! -x "$binary" ]; then
    echo "missing $binary: build the fuzz preset first" >&2
    exit 2
  fi
  mkdir -p "$work/corpus-$target" "$work/artifacts-$target"
  # Inputs that once gave a finding run first, each on its own.
  regressions=("$root/fuzz/regressions/$target"/*)
  if [ -f "${regressions[0]}" ]; then
    echo "==> fuzz_$target on ${#regressions[@]} earlier findings"
    if ! "$binary" "${regressions[@]}" >"$work/regressions-$target" 2>&1; then
      echo "--- fuzz_$target fails on an earlier finding again:" >&2
      tail -n 40 "$work/regressions-$target" >&2
      failed+=("$target")
      continue
    fi
  fi
  echo "==> fuzz_$target for ${seconds}s"
  start=$SECONDS
  status=0
  "$binary" -seed=1 -max_total_time="$seconds" -max_len="${max_len[$target]}" \
    -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 ${extra[$target]} \
    -artifact_prefix="$work/artifacts-$target/" \
    "$work/corpus-$target" "$root/fuzz/corpus/$target" \
    >"$work/log-$target" 2>&1 || status=$?
  grep -E '^#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units' "$work/log-$target" || true
  echo "    $((SECONDS - start))s, exit status $status"
  if [ "$status" -ne 0 ] || compgen -G "$work/artifacts-$target/*" >/dev/null; then
    echo "--- fuzz_$target found something:" >&2
    tail -n 60 "$work/log-$target" >&2
    for artifact in "$work/artifacts-$target"/*; do
      [ -f "$artifact" ] || continue
      echo "--- $(basename "$artifact") (base64):" >&2
      base64 "$artifact" >&2
    done
    failed+=("$target")
  fi
done

if [ "${#failed[@]}" -gt 0 ]; then
  echo "fuzzing found problems in: ${failed[*]}" >&2
  exit 1
fi
echo "no findings"
