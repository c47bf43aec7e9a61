#!/bin/sh
# Runs a command (the tests of the Windows programs) with one wineserver
# for its whole length: a program started just as the last one's server
# shuts down may fail to start, with status 1, and a test fail with it.
# A new prefix is made first and left to settle, so that no program of its
# making is still at work when the tests begin.
# Usage: under_wine.sh WINE WINESERVER COMMAND [ARGUMENT...]; WINEPREFIX is set.
set -u
wine=$1
server=$2
shift 2
mkdir -p "$WINEPREFIX"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$wine" wineboot --init >/dev/null 2>&1
  "$server" -w
fi
"$server" -p 2>/dev/null || true  # one may be running already
"$@"
status=$?
"$server" -k
exit $status
