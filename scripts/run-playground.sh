#!/usr/bin/env bash
# Sets up, builds the web page into build/web and serves it on
# http://127.0.0.1:8000/ with Python's http.server (Ctrl-C ends it).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build" --target web -j"$(nproc)"
echo "The page: http://127.0.0.1:8000/ (patterns: http://127.0.0.1:8000/pattern.html)"
exec python3 -m http.server 8000 --bind 127.0.0.1 --directory "$root/build/web"
