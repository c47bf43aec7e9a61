#!/usr/bin/env bash
# Sets up, builds everything and assembles the bundled example
# examples/countdown.asm with brennor, printing the image it produces.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"

cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build" -j"$(nproc)" >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp "$root/examples/countdown.asm" "$work/"
(cd "$work" && "$root/build/assembler/brennor" countdown.asm)
echo "out.hex of examples/countdown.asm:"
cat "$work/out.hex"
echo
