#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, skipping
# those already there; uses sudo when not run as root.
set -euo pipefail

packages=(
  build-essential cmake libgtest-dev   # compiler, build, unit tests
  qt6-base-dev                         # the pattern editor's widgets
  xvfb xauth x11-utils imagemagick     # the editor's smoke test under a real X server
  libx11-dev                           # its helper that finds and closes the window
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

if ((${#missing[@]})); then
  sudo=()
  if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
  echo "Installing: ${missing[*]}"
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
