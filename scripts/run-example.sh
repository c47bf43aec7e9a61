#!/usr/bin/env bash
# Sets up, builds everything and assembles the bundled example
# examples/countdown.asm with brennor, printing the image it produces and
# the listing quellmark makes of it.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"

log="$(mktemp)"
if ! { cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release &&
       cmake --build "$root/build" -j"$(nproc)"; } >"$log" 2>&1; then
  cat "$log"
  exit 1
fi
rm -f "$log"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp "$root/examples/countdown.asm" "$work/"
(cd "$work" && "$root/build/assembler/brennor" countdown.asm)
echo "out.hex of examples/countdown.asm:"
cat "$work/out.hex"
echo
echo
echo "quellmark list examples/countdown.asm:"
"$root/build/assembler/quellmark" list "$work/countdown.asm"
