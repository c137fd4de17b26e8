#!/usr/bin/env bash
# Writes the seed corpora of the fuzz targets into fuzz/corpus/ from the
# end-to-end scenarios, an excerpt of the example data and the edge cases
# of the reading and editing rules. The corpora are kept in the repository;
# run this again only to refresh them after the scenarios change.
#
#   fuzz/make_seeds.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
corpus=$root/fuzz/corpus
scenarios=$root/tests/scenarios
gd=$root/examples/gd

rm -rf "$corpus"
mkdir -p "$corpus/reader" "$corpus/editing" "$corpus/run"

# Bytes of a file, ending in LF so that a part marker after it starts a line.
with_line_end() {
  cat "$1"
  if [ -s "$1" ] && [ "$(tail -c 1 "$1" | od -An -tx1 | tr -d ' ')" != 0a ]; then
    printf '\n'
  fi
}

# ---- fuzz_run: one seed per scenario ---------------------------------------
# Folder set-ups the scenarios make with a prepare script, as part flags or
# planted faults; a hard link has no counterpart in the memory folder.
declare -A flags=(
  [open-directory/isodir]=$'\td'
  [open-no-permission/secret.dat]=$'\trw'
  [readonly-isotherm-read/iso_a.dat]=$'\tr'
  [readonly-isotherm-read/iso_b.dat]=$'\tr'
  [readonly-result-table/KORVELIN.dat]=$'\tr'
)
for dir in "$scenarios"/*/; do
  name=$(basename "$dir")
  {
    if [ -f "$dir/input/KORVELIN.inp" ]; then
      with_line_end "$dir/input/KORVELIN.inp"
    fi
    for file in "$dir"/input/*; do
      [ -f "$file" ] || continue
      base=$(basename "$file")
      [ "$base" = KORVELIN.inp ] && continue
      printf -- '--- %s%s\n' "$base" "${flags[$name/$base]:-}"
      with_line_end "$file"
    done
    if [ "$name" = open-directory ]; then
      printf -- '--- isodir\td\n'
    fi
    if [ "$name" = result-table-disk-full ]; then
      printf -- '--- <faults>\nc0\n'
    fi
    if [ -f "$dir/stdin" ]; then
      printf -- '--- <stdin>\n'
      with_line_end "$dir/stdin"
    fi
    if [ -f "$dir/args" ]; then
      printf -- '--- <args>\n'
      with_line_end "$dir/args"
    fi
  } >"$corpus/run/$name"
done

# The example data: three temperatures, each file cut to its header and the
# first low-field measurements.
{
  printf '0.0123\n5 1\n1.0 2.0 3.0 4.0 5.0\n'
  for t in 270.0 272.5 275.0; do
    printf '%s\ngd_%sK.dat\n' "$t" "$t"
  done
  for t in 270.0 272.5 275.0; do
    printf -- '--- gd_%sK.dat\n' "$t"
    head -n 18 "$gd/gd_${t}K.dat"
  done
} >"$corpus/run/example-gd-excerpt"

# The transcript scenario again with every kind of fault, with replies typed
# at a terminal (one of them a command), and with names from the arguments.
base=$corpus/run/one-isotherm-transcript
for fault in r1 R2 w1:0:f w1:17:d w1:5:n w1:9:o t1 i1 x m1 c30 s1 s7; do
  { cat "$base"; printf -- '--- <faults>\n%s\n' "$fault"; } >"$corpus/run/fault-${fault//:/-}"
done
{ cat "$base"; printf -- '--- <tty>\n\ndir /w\n\n'; } >"$corpus/run/pause-command-at-terminal"
{
  printf '1.0\n1 -1\n2.0\n300\n\n302\n \n'
  printf -- '--- a.dat\n,,0,300,0\n,,20000,300,2\n,,10000,300,1\n'
  printf -- '--- b.dat\n,,0,302,0\n,,20000,302,1\n,,10000,302,0.5\n'
  printf -- '--- <args>\na.dat\n\n--- <stdin>\nb.dat\n\n\n\n'
} >"$corpus/run/names-from-arguments-and-prompt"

# One export named for several temperatures, long enough that later opens
# pass over runs of its sets: isotherms of 70 rows at 300, 301 and 302 K
# with empty cells and words in between, read in a scrambled order.
{
  printf '1.0\n2 1\n1.0 2.0\n302\ns.dat\n300\ns.dat\n301.2\ns.dat\n300.5\ns.dat\n'
  printf -- '--- s.dat\n[Data]\n'
  for t in 300 301 302; do
    for r in $(seq 0 69); do
      h=$(( r < 35 ? r * 600 : (69 - r) * 600 ))
      case $(( r % 9 )) in
        3) printf ',,%d,,%d.%d\n' "$h" $(( 2 * t - r )) "$r" ;;
        5) printf 'w,,%d,%d.01,\n' "$h" "$t" ;;
        *) printf ',,%d,%d.0%d,%d.%d\n' "$h" "$t" $(( r % 3 )) $(( 2 * t - r )) "$r" ;;
      esac
    done
  done
} >"$corpus/run/study-one-file-many-temperatures"

# ---- fuzz_reader: header (driver, failure, schedule) and bytes --------------
# byte 0: 0 isotherm reader, 2 control file, 3 mixed schedule; +4 read from
# the console; +8 a read failure at request byte 1, +16 permanent; +32 times
# 1 to 7: short reads.
reader_seed() {  # name, header as \x escapes, file
  { printf '%b' "$2"; cat "$3"; } >"$corpus/reader/$1"
}
edge=$(mktemp)
trap 'rm -f "$edge"' EXIT
{
  printf ',12345.6,1000.0,300.0,0.00123,7.5,8\r\n'
  printf '12345.6,,1000,300,1.2E-3,9\r\n'
  printf '1 , 2 ,3  ,4 ,\t5\r\n'
  printf '1,2,3\r\n4,5,6\r\n'
  printf '1,2,3/\r\n'
  printf '[Header]\r\nINFO,Temperature,300\r\n1,2,3,4,5\r\n'
  printf '1;2;3;4;5\r\n3*2.5,1,2\r\n2*,1,2,3\r\n\r\n   \r\n'
  printf '1,2\r3,4,5\n6,7,8\n'
  printf "(1,2) 'a''b' \"q\" 16#FF #10 +3 -2147483648 1.5+3 2.5-2 1.5D-3 5. .5 -.5E1\n"
  printf '1e-50 3.40282346e38 1e39 3.4028235e38 1*,2 *5 0*1 2*3*4 1e400\n'
  printf '0.5 ! mass\n0.5!mass\n\xef\xbb\xbf1.0\n\x1a\n1,2,3'
} >"$edge"
reader_seed edge-isotherm '\x00\x00\x00\x00' "$edge"
reader_seed edge-schedule '\x03\x00\xe4\x1b' "$edge"
reader_seed edge-console '\x04\x00\x00\x00' "$edge"
reader_seed edge-failure '\x0b\x02\x39\xc6' "$edge"
reader_seed edge-console-failure '\x1f\x01\x93\x4e' "$edge"
reader_seed edge-one-byte-reads '\x20\x00\x00\x00' "$edge"
reader_seed edge-schedule-seven-byte-reads '\x83\x00\xe4\x1b' "$edge"
reader_seed edge-console-three-byte-reads '\x64\x00\x00\x00' "$edge"
for dir in reading-isotherm-records one-isotherm-transcript error-control-z-after-names \
  names-blank-args-and-prompt table-integration-cases error-too-many-fields; do
  for file in "$scenarios/$dir"/input/*; do
    base=$(basename "$file")
    if [ "$base" = KORVELIN.inp ]; then
      reader_seed "control-$dir" '\x02\x03\x00\x00' "$file"
      reader_seed "control-schedule-$dir" '\x03\x00\x1e\x87' "$file"
    else
      reader_seed "isotherm-$dir-$base" '\x00\x00\x00\x00' "$file"
    fi
  done
done
head -n 14 "$gd/gd_270.0K.dat" >"$edge"
reader_seed example-gd-head '\x00\x00\x00\x00' "$edge"
reader_seed example-gd-head-failure '\x08\x02\x00\x00' "$edge"
# Records that cross the 1024-byte blocks.
{
  printf ',1,%s,300,0.5\n' "$(printf '0%.0s' {1..1030})"
  printf '%*s1,2,3,4,5\n' 1015 ''
  printf '%*sname-over-a-block-boundary\n' 1000 ''
} >"$edge"
reader_seed long-records '\x00\x00\x00\x00' "$edge"
reader_seed long-records-schedule '\x03\x00\xff\xc3' "$edge"
reader_seed long-records-failure '\x1b\x02\xff\xff' "$edge"
reader_seed long-records-short-reads '\xc3\x00\x39\xc6' "$edge"

# ---- fuzz_editing: float bits, width, decimals, digits, integer -------------
# The values of the editing tables, each in one of the program's fields.
values=(
  0000003f 0000803f 33332b40 0000003e 000000be 00000000 17b7d1b9 52491dba
  c9e57f3f e1fac742 0000c842 b6e64046 3eb49649 38b496c9 7f96184b 8096184b
  0050c347 2bbea13a 00009643 000020c0 71fdc742 ffff7f7f 01000000 00008000
  0000807f 000080ff 0000c0ff 0100807f 0000c07f
)
fields=("\x05\x02" "\x08\x03" "\x0b\x03")
n=0
for bits in "${values[@]}"; do
  escaped=$(printf '%s' "$bits" | sed 's/../\\x&/g')
  field=${fields[$((n % 3))]}
  printf '%b' "$escaped$field\\x07\\xff\\xff\\xff\\x7f" >"$corpus/editing/value-$bits"
  n=$((n + 1))
done
printf '%b' '\x00\x00\x00\x00\x05\x02\x00\x00\x00\x00\x80' >"$corpus/editing/int-min"
