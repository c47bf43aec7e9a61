#!/usr/bin/env bash
# Renders manual pages with every warning on; fails on any warning.
#   check-manual.sh PAGE...
set -euo pipefail
status=0
for page in "$@"; do
  warnings=$(groff -ww -z -man "$page" 2>&1) || true
  if [ -n "$warnings" ]; then
    echo "$page:"
    echo "$warnings"
    status=1
  fi
done
exit $status
