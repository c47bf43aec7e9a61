#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, skipping
# those already there; uses sudo when not run as root.
set -euo pipefail

packages=(
  build-essential cmake libgtest-dev   # compiler, build, unit tests
  nlohmann-json3-dev                   # the language server's JSON
  neovim                               # a real client of the language server in the tests
  emacs-nox elpa-eglot                 # a second one, Emacs with eglot
  qt6-base-dev                         # the pattern editor's widgets
  xvfb xauth x11-utils imagemagick     # the editor's smoke test under a real X server
  libx11-dev                           # its helper that finds and closes the window
  desktop-file-utils shared-mime-info  # checks of the desktop entry and the .ptn type
  groff-base                           # checks of the manual pages
  clang libclang-rt-14-dev             # libFuzzer and the sanitizers' run-time
  g++-mingw-w64-x86-64-posix           # the assembler for 64-bit Windows
  g++-mingw-w64-i686-posix             # and for 32-bit Windows (only built here)
  wine wine64                          # runs the 64-bit Windows programs in the tests
  clang-19 lld-19 wasi-libc            # the web page's WebAssembly, for wasm32-wasi,
  libc++-19-dev-wasm32 libc++abi-19-dev-wasm32 libclang-rt-19-dev-wasm32  # with its C++ library
  chromium                             # the browser the page's tests drive
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

# Node.js and npm for the page's packages (package-lock.json) and its tests;
# a machine that has them from elsewhere keeps them.
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  missing+=(nodejs npm)
fi

if ((${#missing[@]})); then
  sudo=()
  if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
  echo "Installing: ${missing[*]}"
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
