#!/usr/bin/env bash
# Runs one end-to-end scenario and compares everything it leaves behind.
#
#   run_scenario.sh PROGRAM SCENARIO_DIR [LAUNCHER...]
#
# A scenario folder holds:
#   input/            files copied into a fresh working folder
#   stdin             standard input of the run (default: /dev/null)
#   args              command-line arguments, one per line (optional)
#   prepare           shell script run in the working folder first (optional)
#   finish            shell script run there after the run, before the
#                     comparison (optional; e.g. to remove a link to a device)
#   unprivileged      marker: run as an ordinary user, so that permission
#                     bits apply even when the tests run as root
#   expected/stdout   standard output, byte for byte
#   expected/stderr   standard error, byte for byte
#   expected/status   exit status (default 0)
#   expected/files/   every file of the working folder after the run
#   expected/stdout.windows, expected/stderr.windows
#                     what a Windows build writes instead, where only the
#                     platform makes the difference (a command's own output
#                     at a pause, say); used when PROGRAM is an .exe
#
# With KORVELIN_UPDATE_SCENARIOS=1 the expectations are rewritten from the
# run instead; review the difference before committing it. A Windows build
# only writes the .windows streams that differ from the others.
set -u
program=$(realpath "$1")
scenario=$(realpath "$2")
shift 2
launcher=("$@")
platform=
case "$program" in
*.exe) platform=windows ;;
esac

work=$(mktemp -d)
actual=$(mktemp -d)
cleanup() {
  chmod -R u+rwX "$work" 2>/dev/null
  rm -rf "$work" "$actual"
}
trap cleanup EXIT

mkdir -p "$work/run"
if [ -d "$scenario/input" ]; then
  cp -a "$scenario/input/." "$work/run/"
fi

# Root ignores permission bits; such scenarios run as "nobody" instead.
as_user=()
if [ -f "$scenario/unprivileged" ] && [ "$(id -u)" = 0 ]; then
  if ! command -v setpriv >/dev/null; then
    echo "setpriv is needed to run this scenario as an ordinary user"
    exit 1
  fi
  chmod 755 "$work"
  chown -R nobody "$work/run"
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)
fi

if [ -f "$scenario/prepare" ]; then
  (cd "$work/run" && "${as_user[@]}" bash "$scenario/prepare") || {
    echo "prepare failed"
    exit 1
  }
fi

stdin=/dev/null
[ -f "$scenario/stdin" ] && stdin="$scenario/stdin"
args=()
[ -f "$scenario/args" ] && mapfile -t args <"$scenario/args"

(cd "$work/run" && exec "${as_user[@]}" timeout 60 "${launcher[@]}" "$program" "${args[@]}" \
  <"$stdin" >"$actual/stdout" 2>"$actual/stderr")
echo "$?" >"$actual/status"
if [ -f "$scenario/finish" ]; then
  (cd "$work/run" && bash "$scenario/finish")
fi
# Files are compared by content; permissions set by prepare are not part of
# the expectation.
chmod -R u+rwX "$work/run" 2>/dev/null

if [ "${KORVELIN_UPDATE_SCENARIOS:-0}" = 1 ] && [ -n "$platform" ]; then
  for stream in stdout stderr; do
    if cmp -s "$scenario/expected/$stream" "$actual/$stream"; then
      rm -f "$scenario/expected/$stream.$platform"
    else
      cp "$actual/$stream" "$scenario/expected/$stream.$platform"
    fi
  done
  echo "updated the $platform streams of $scenario"
  exit 0
fi
if [ "${KORVELIN_UPDATE_SCENARIOS:-0}" = 1 ]; then
  # The other platforms' streams are theirs to update.
  find "$scenario/expected" -mindepth 1 -maxdepth 1 ! -name '*.windows' \
    -exec rm -rf {} + 2>/dev/null
  mkdir -p "$scenario/expected/files"
  cp "$actual/stdout" "$actual/stderr" "$actual/status" "$scenario/expected/"
  cp -a "$work/run/." "$scenario/expected/files/"
  echo "updated $scenario"
  exit 0
fi

failed=0
show() {
  echo "--- expected $1"
  od -c "$2" | head -40
  echo "--- actual $1"
  od -c "$3" | head -40
}
for stream in stdout stderr; do
  expected="$scenario/expected/$stream"
  if [ -n "$platform" ] && [ -f "$expected.$platform" ]; then
    expected="$expected.$platform"
  fi
  if ! cmp -s "$expected" "$actual/$stream"; then
    echo "MISMATCH in $stream (${expected#"$scenario"/})"
    show "$stream" "$expected" "$actual/$stream"
    failed=1
  fi
done
expected_status=0
[ -f "$scenario/expected/status" ] && expected_status=$(cat "$scenario/expected/status")
if [ "$expected_status" != "$(cat "$actual/status")" ]; then
  echo "MISMATCH in exit status: expected $expected_status, got $(cat "$actual/status")"
  failed=1
fi
mkdir -p "$scenario/expected/files"
if ! diff -r "$scenario/expected/files" "$work/run" >"$actual/files.diff" 2>&1; then
  echo "MISMATCH in the files left behind:"
  cat "$actual/files.diff" | head -40
  failed=1
fi
exit "$failed"
