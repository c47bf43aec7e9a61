#!/usr/bin/env bash
# Neovim, headless, with its own language server client, against
# `quellmark lsp`: diagnostics where `quellmark check` puts them, hover,
# definition and references, a quick fix and a rename the editor applies,
# and its formatting.
#   neovim_test.sh QUELLMARK
set -euo pipefail
quellmark=$(realpath "$1")
here="$(cd "$(dirname "$0")" && pwd)"
if ! command -v nvim >/dev/null; then
  echo "Neovim is not installed (scripts/setup.sh installs it)"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$here/neovim/program.asm" "$work/p.asm"
cd "$work"
HOME="$work" XDG_STATE_HOME="$work" XDG_CACHE_HOME="$work" QUELLMARK="$quellmark" SOURCE=p.asm \
  RESULT="$work/result.txt" timeout 60 nvim --headless -u NONE -i NONE \
  -c "luafile $here/neovim/client.lua" -c 'cquit 1' || { echo "Neovim did not finish"; exit 1; }
cat result.txt

# What check prints, as "diag LINE:COLUMN CODE", beside what Neovim saw.
# (check says 1: it has findings.)
expected=$({ "$quellmark" check p.asm || true; } | sed -n 's/^p\.asm:\([0-9]*\):\([0-9]*\): warning: .*\[-W\(.*\)\]$/diag \1:\2 \3/p')
seen=$(sed -n 's/^diag \([0-9]*:[0-9]*\)-[0-9]* \(.*\)$/diag \1 \2/p' result.txt)
fail=0
check() {
  if ! grep -qxF -- "$1" result.txt; then echo "missing: $1"; fail=1; fi
}
if [ "$expected" != "$seen" ]; then
  echo "the diagnostics differ from check's:"; echo "$expected"; fail=1
fi
[ "$(echo "$expected" | wc -l)" -eq 3 ] || { echo "check found other than three"; fail=1; }
check 'diag 6:14-17 undefined'  # `lop`, three bytes
check 'hover 0002: 8401 — beq, ra r1, rb r0, offset 1 → 0004'
check 'hover `loop` = 4 (0x0004), a label  defined at line 3, and last at line 7'
check 'definition 7 3'
check 'references 3'
check 'line again:   addi r1, r0, N'
check 'line été:    beq  r1, r0, again      ; ü'
check 'line again:   hlt'
check 'actions 1'
check 'fixed         j    loop'
check 'formatted         hlt                     ;end'
check 'formatted été:    beq  r1, r0, again      ; ü'
[ "$fail" -eq 0 ] && echo "neovim test passed"
exit "$fail"
