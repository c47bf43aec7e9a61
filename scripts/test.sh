#!/usr/bin/env bash
# Sets up, builds and runs every test: the Windows programs cross-built and
# tested under Wine, the plain build with the web page in Chromium and the
# language server in Neovim, the fuzzers for a bounded time, and the tests
# again under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
jobs="$(nproc)"

configure_and_build() {
  local dir=$1
  shift
  cmake -S "$root" -B "$root/$dir" "$@" >/dev/null
  cmake --build "$root/$dir" -j"$jobs" >/dev/null
}

# Windows, 64-bit (tested below under Wine) and 32-bit (built only).
configure_and_build build-win64 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release
configure_and_build build-win32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake" \
  -DCMAKE_BUILD_TYPE=Release

configure_and_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUELLMARK_WINDOWS_PROGRAMS="$root/build-win64/assembler"
ctest --test-dir "$root/build" -j"$jobs" --output-on-failure

# The fuzzers run two at a time, 15 s each, from the kept corpus; a longer
# run is a matter of QUELLMARK_FUZZ_SECONDS.
configure_and_build build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUELLMARK_FUZZ=ON -DQUELLMARK_PATTERN_EDITOR=OFF -DBUILD_TESTING=OFF -DQUELLMARK_FUZZ_SECONDS=15
ctest --test-dir "$root/build-fuzz" -j"$jobs" --output-on-failure

# (The web page is the same WebAssembly there, tested above.)
configure_and_build build-sanitize -DCMAKE_BUILD_TYPE=Debug -DQUELLMARK_SANITIZE=ON \
  -DQUELLMARK_PATTERN_EDITOR=OFF -DQUELLMARK_WEB=OFF
ctest --test-dir "$root/build-sanitize" -j"$jobs" --output-on-failure
