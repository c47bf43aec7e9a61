#!/bin/sh
# Runs a command (the tests of the Windows programs) with one wineserver
# for its whole length: a program started just as the last one's server
# shuts down may fail to start, with status 1, and a test fail with it.
# Usage: under_wine.sh WINESERVER COMMAND [ARGUMENT...]; WINEPREFIX is set.
set -u
server=$1
shift
mkdir -p "$WINEPREFIX"
"$server" -p 2>/dev/null || true  # one may be running already
"$@"
status=$?
"$server" -k
exit $status
