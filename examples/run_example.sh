#!/usr/bin/env bash
# Runs korvelin on a fresh copy of an example folder, answering every pause
# with an empty line (standard input from /dev/null), and shows the table.
#   run_example.sh KORVELIN EXAMPLE_DIR WORK_DIR
set -eu
program=$1
example=$2
work=$3
rm -rf "$work"
mkdir -p "$work"
cp -a "$example/." "$work/"
cd "$work"
status=0
"$program" </dev/null || status=$?
printf '\n\n==> %s/KORVELIN.dat (-dS_M in J/(kg K); rows: mean temperature in K, columns: field in T)\n' "$work"
cat KORVELIN.dat
exit "$status"
