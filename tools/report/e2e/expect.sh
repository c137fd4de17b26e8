#!/usr/bin/env bash
# Runs a command in a scratch folder and checks its exit status and that one
# of its output streams holds each of the given texts.
#   expect.sh STATUS stdout|stderr TEXT... -- COMMAND [ARG]...
set -u
status=$1 stream=$2
shift 2
texts=()
while [ "$#" -gt 0 ] && [ "$1" != "--" ]; do
  texts+=("$1")
  shift
done
shift

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
"$@" >stdout 2>stderr
actual=$?

failed=0
if [ "$actual" -ne "$status" ]; then
  echo "exit status $actual, expected $status"
  failed=1
fi
for text in "${texts[@]}"; do
  if ! grep -qF -- "$text" "$stream"; then
    echo "$stream lacks: $text"
    failed=1
  fi
done
if [ "$failed" -ne 0 ]; then
  echo "--- stdout"; cat stdout
  echo "--- stderr"; cat stderr
fi
exit "$failed"
