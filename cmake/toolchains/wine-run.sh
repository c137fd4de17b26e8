#!/bin/sh
# Runs a Windows program under Wine for the tests of the cross build:
#
#   wine-run.sh PROGRAM.exe [ARGUMENTS...]
#   wine-run.sh --start     start this user's Wine server and ready its prefix
#   wine-run.sh --stop      stop this user's Wine server
#
# Wine's own diagnostics are silenced so that standard error holds only what
# the program wrote, and the .NET and HTML engines are never installed into a
# new prefix: nothing here needs them, and asking for them is slow.
#
# Wine refuses a prefix that belongs to another user, and some scenarios run
# as an ordinary user while the tests run as root: such a user gets a prefix
# of its own, made on first use (which takes some seconds).
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
prefix="${WINEPREFIX:-${HOME:-/nonexistent}/.wine}"
uid=$(id -u)
if [ -e "$prefix" ] && [ "$(stat -c %u "$prefix")" != "$uid" ]; then
  export WINEPREFIX="${TMPDIR:-/tmp}/korvelin-wine-$uid"
  # Wine makes a prefix only inside a folder of the user's own.
  mkdir -p -m 700 "$WINEPREFIX" || exit 1
fi

case "${1:-}" in
--start)
  # A server started by the first program of a test run would inherit the
  # test runner's output pipes and keep them open after the test, so it is
  # started ahead, detached, and kept (-p) for the fast starts of a warm
  # server.
  wineserver -p </dev/null >/dev/null 2>&1 || exit 1
  exec wine cmd /c exit </dev/null >/dev/null 2>&1
  ;;
--stop)
  exec wineserver -k </dev/null >/dev/null 2>&1
  ;;
esac
exec wine "$@"
