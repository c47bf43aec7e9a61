#!/usr/bin/env bash
# Installs a build into a fresh prefix and checks that everything a user
# and a desktop need is there: the programs, their manual pages, and the
# editor's desktop entry, icons and .ptn type.
#   check-install.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

status=0
expect() {
  for path in "$@"; do
    [ -e "$prefix/$path" ] || { echo "missing: $path"; status=1; }
  done
}
expect bin/brennor bin/assembler bin/quellmark \
  share/man/man1/brennor.1 share/man/man1/assembler.1 share/man/man1/quellmark.1
if [ -e "$prefix/bin/tarnwick" ]; then
  expect share/man/man1/tarnwick.1 share/applications/tarnwick.desktop \
    share/mime/packages/tarnwick-pattern.xml
  for size in 16 22 24 32 48 64 128 256; do
    expect "share/icons/hicolor/${size}x${size}/apps/tarnwick.png"
  done
  desktop-file-validate "$prefix/share/applications/tarnwick.desktop" || status=1
  # The type database made from the installed package maps *.ptn to it.
  update-mime-database "$prefix/share/mime"
  grep -q 'application/x-tarnwick-pattern:\*\.ptn' "$prefix/share/mime/globs2" ||
    { echo ".ptn is not in the type database"; status=1; }
fi
"$prefix/bin/quellmark" --version >/dev/null || status=1
exit $status
