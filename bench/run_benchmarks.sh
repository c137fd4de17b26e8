#!/usr/bin/env bash
# Whole-program benchmark of korvelin on realistic exports.
#
#   bash bench/run_benchmarks.sh [--runs N] [--huge] [--no-pandas]
#
# Builds the Release preset "bench", generates the cases into
# build/bench-data (again whenever the generator is newer than a case), and
# for each case prints the median wall time over N runs (default 7) of:
#   korvelin   the program, in the case folder with its table removed before
#              each run, standard input and output on /dev/null;
#   bound 64K  read_bound: the same opens and the same bytes, 64 KiB per read,
#              line ends found with memchr and nothing else;
#   bound 1K   the same with 1 KiB reads, the program's block size today;
#   pandas     bench/pandas_baseline.py under /usr/bin/python3 (Debian's
#              python3-pandas), when it can import pandas;
# the ratios korvelin/bound 64K and korvelin/pandas, korvelin's CPU time and
# its peak resident memory, and then the targets:
#   large:             korvelin <= 1.5 x bound 64K and <= 0.5 x pandas
#   small, long-lines: korvelin <= 2 x bound 64K and <= pandas / 20
#   every case:        peak resident memory under 8 MiB
# --huge also generates the 1 GB export (once; about 1 GB of disk) and checks
# that the peak memory on it is no larger than on the small case (within a
# few pages).
#
# Times include process start-up for every command alike. On a busy machine
# compare the CPU column and rerun; the load average is printed at the start
# and the end.

set -euo pipefail

runs=7
huge=0
pandas=1
while [[ $# -gt 0 ]]; do
  case "$1" in
    --runs) runs="$2"; shift 2 ;;
    --huge) huge=1; shift ;;
    --no-pandas) pandas=0; shift ;;
    -h|--help) awk 'NR > 1 && !/^#/ { exit } NR > 1 { sub(/^# ?/, ""); print }' "$0"; exit 0 ;;
    *) echo "run_benchmarks.sh: unknown option $1" >&2; exit 2 ;;
  esac
done

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/bench"
data="$root/build/bench-data"
python=/usr/bin/python3

cd "$root"
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
if ! { [[ -f "$build/build.ninja" ]] || cmake --preset bench; } >"$log" 2>&1 ||
   ! cmake --build "$build" --target korvelin generate_exports read_bound run_timed >>"$log" 2>&1; then
  cat "$log" >&2
  echo "run_benchmarks.sh: the build failed" >&2
  exit 1
fi

korvelin="$build/korvelin"
generate="$build/bench/generate_exports"
bound="$build/bench/read_bound"
timed="$build/bench/run_timed"

if [[ $pandas -eq 1 ]] && ! "$python" -c 'import pandas, numpy' 2>/dev/null; then
  echo "note: $python cannot import pandas (apt-get install python3-pandas);" \
       "pandas column skipped" >&2
  pandas=0
fi

# Generates a case unless it is there and newer than the generator.
prepare() {
  local name="$1" dir="$data/$1"
  if [[ ! -f "$dir/bench-manifest.txt" || "$generate" -nt "$dir/bench-manifest.txt" ]]; then
    rm -rf "$dir"
    echo "generating $name ..." >&2
    "$generate" "$name" "$dir" >/dev/null
  fi
}

# Bytes read per run, from the manifest.
bytes_read() {
  awk '!/^#/ { s += $2 } END { printf "%.0f", s }' "$data/$1/bench-manifest.txt"
}

# Prints "MEDIAN MIN MAX PEAK_KIB CPU" of a command run N times in a folder,
# removing the named output file ("-": none) before each run.
measure() {
  local n="$1" dir="$2" remove="$3"
  shift 3
  local args=(-n "$n" -C "$dir")
  [[ "$remove" != "-" ]] && args+=(-r "$remove")
  "$timed" "${args[@]}" -- "$@"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.3f", a / b; else printf "-" }'; }

verdict() {  # value limit
  awk -v v="$1" -v l="$2" 'BEGIN { if (v == "-") print "n/a"; else print (v <= l ? "met" : "MISSED") }'
}

echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)   runs: $runs   $(nproc) CPUs"
echo
echo "median wall time"
printf '%-11s %9s %10s %10s %10s %10s %8s %9s %9s\n' \
  case "MB/run" korvelin "bound 64K" "bound 1K" pandas "k/b64K" "k/pandas" "peak RSS"

declare -A rss
targets=()
cpu_lines=()
mib() { awk -v k="$1" 'BEGIN { printf "%.1f MiB", k / 1024 }'; }
seconds() { [[ "$1" == "-" ]] && echo - || printf '%.4fs' "$1"; }

# One case: times korvelin, the bound at 64 KiB and at 1 KiB (the latter only
# with a third argument of 1), and pandas (when available), then prints its
# rows. Sets k_rss and the ratios r_bound and r_pandas.
run_case() {
  local name="$1" n="$2" with_small_blocks="$3" use_pandas="$4"
  local dir="$data/$name" manifest="$data/$name/bench-manifest.txt"
  local k_med k_cpu b64 b64_cpu b1k="-" b1k_cpu="-" p_med="-" p_cpu="-" out
  out="$(measure "$n" "$dir" KORVELIN.dat "$korvelin")"
  read -r k_med _ _ k_rss k_cpu <<<"$out"
  out="$(measure "$n" "$dir" - "$bound" "$manifest" 65536)"
  read -r b64 _ _ _ b64_cpu <<<"$out"
  if [[ $with_small_blocks -eq 1 ]]; then
    out="$(measure "$n" "$dir" - "$bound" "$manifest" 1024)"
    read -r b1k _ _ _ b1k_cpu <<<"$out"
  fi
  if [[ $use_pandas -eq 1 ]]; then
    out="$(measure "$n" "$dir" pandas-table.dat "$python" "$root/bench/pandas_baseline.py")"
    read -r p_med _ _ _ p_cpu <<<"$out"
  fi
  r_bound="$(ratio "$k_med" "$b64")"
  r_pandas="-"
  [[ "$p_med" != "-" ]] && r_pandas="$(ratio "$k_med" "$p_med")"
  local mb
  mb="$(awk -v b="$(bytes_read "$name")" 'BEGIN { printf "%.1f", b / 1e6 }')"
  printf '%-11s %9s %10s %10s %10s %10s %8s %9s %9s\n' "$name" "$mb" \
    "$(seconds "$k_med")" "$(seconds "$b64")" "$(seconds "$b1k")" \
    "$(seconds "$p_med")" "$r_bound" "$r_pandas" "$(mib "$k_rss")"
  cpu_lines+=("$(printf '%-11s %9s %10s %10s %10s %10s %8s %9s' "$name" "$mb" \
    "$(seconds "$k_cpu")" "$(seconds "$b64_cpu")" "$(seconds "$b1k_cpu")" \
    "$(seconds "$p_cpu")" "$(ratio "$k_cpu" "$b64_cpu")" \
    "$( [[ "$p_cpu" == "-" ]] && echo - || ratio "$k_cpu" "$p_cpu")")")
}

for name in small large long-lines; do
  prepare "$name"
  run_case "$name" "$runs" 1 "$pandas"
  rss[$name]="$k_rss"
  if [[ "$name" == large ]]; then
    targets+=("$name: korvelin/bound64K $r_bound <= 1.5: $(verdict "$r_bound" 1.5)")
    targets+=("$name: korvelin/pandas $r_pandas <= 0.5: $(verdict "$r_pandas" 0.5)")
  else
    targets+=("$name: korvelin/bound64K $r_bound <= 2: $(verdict "$r_bound" 2)")
    targets+=("$name: korvelin/pandas $r_pandas <= 0.05: $(verdict "$r_pandas" 0.05)")
  fi
  targets+=("$name: peak RSS ${k_rss} KiB < 8192 KiB: $(verdict "$k_rss" 8191)")
done

if [[ $huge -eq 1 ]]; then
  prepare huge
  run_case huge $(( runs < 3 ? runs : 3 )) 0 0
  # Start-up and the table's length move the figure by a few pages either
  # way; what must not happen is growth with the input.
  same=$(awk -v a="${rss[small]}" -v b="$k_rss" 'BEGIN { print (b <= a + 256 ? "met" : "MISSED") }')
  targets+=("huge: peak RSS ${k_rss} KiB <= small's ${rss[small]} KiB + 256 KiB: $same")
  targets+=("huge: peak RSS ${k_rss} KiB < 8192 KiB: $(verdict "$k_rss" 8191)")
fi

echo
echo "median CPU time (user + system; less disturbed by other load)"
printf '%-11s %9s %10s %10s %10s %10s %8s %9s\n' \
  case "MB/run" korvelin "bound 64K" "bound 1K" pandas "k/b64K" "k/pandas"
printf '%s\n' "${cpu_lines[@]}"

if [[ $pandas -eq 1 ]]; then
  # The baseline must do the same job: its table against korvelin's.
  echo
  for name in small large long-lines; do
    (cd "$data/$name" && "$korvelin" </dev/null >/dev/null &&
      echo "pandas check, $name: $("$python" "$root/bench/pandas_baseline.py" --compare)")
  done
fi

echo
echo "targets (wall time):"
printf '  %s\n' "${targets[@]}"
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
