#!/usr/bin/env bash
# Sets up, builds and runs every test: once in a plain build, once with
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
jobs="$(nproc)"

cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j"$jobs" >/dev/null
ctest --test-dir "$root/build" -j"$jobs" --output-on-failure

cmake -S "$root" -B "$root/build-sanitize" -DCMAKE_BUILD_TYPE=Debug -DQUELLMARK_SANITIZE=ON -DQUELLMARK_PATTERN_EDITOR=OFF >/dev/null
cmake --build "$root/build-sanitize" -j"$jobs" >/dev/null
ctest --test-dir "$root/build-sanitize" -j"$jobs" --output-on-failure
