#!/usr/bin/env bash
# Emacs in batch mode with eglot, set up as the README says (the hook
# starts it for an .asm file), against `quellmark lsp`: diagnostics with
# check's places and messages, hover (plain text, as eglot asks without
# markdown-mode), definition, and a rename that eglot applies, after which
# brennor makes the image of the source renamed by hand.
#   emacs_test.sh QUELLMARK BRENNOR
set -euo pipefail
quellmark=$(realpath "$1")
brennor=$(realpath "$2")
here="$(cd "$(dirname "$0")" && pwd)"
if ! command -v emacs >/dev/null ||
   ! emacs --batch --no-init-file --eval "(require 'eglot)" </dev/null >/dev/null 2>&1; then
  echo "Emacs with eglot is not installed (scripts/setup.sh installs emacs-nox and elpa-eglot)"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$here/neovim/program.asm" "$work/p.asm"
cd "$work"
expected=$({ "$quellmark" check p.asm || true; } |
  sed -n 's/^p\.asm:\([0-9]*\):\([0-9]*\): warning: \(.*\) \[-W\(.*\)\]$/diag \1:\2 quellmark [\4]: \3/p')
HOME="$work" QUELLMARK="$quellmark" SOURCE=p.asm RESULT="$work/result.txt" \
  timeout 60 emacs --batch --no-init-file -l "$here/emacs/client.el" </dev/null >"$work/emacs.log" 2>&1 ||
  { cat "$work/emacs.log"; echo "Emacs did not finish"; exit 1; }
cat result.txt

fail=0
check() {
  if ! grep -qxF -- "$1" result.txt; then echo "missing: $1"; fail=1; fi
}
if [ "$expected" != "$(grep '^diag ' result.txt)" ]; then
  echo "the diagnostics differ from check's:"; echo "$expected"; fail=1
fi
[ "$(echo "$expected" | wc -l)" -eq 3 ] || { echo "check found other than three"; fail=1; }
check 'hover loop = 4 (0x0004), a label  defined at line 3, and last at line 7'
check 'definition 7 3'
check 'line again:   addi r1, r0, N'
check 'line été:    beq  r1, r0, again      ; ü'
check 'line again:   hlt'
# The file eglot renamed and saved assembles as the source renamed by hand.
sed 's/\bloop\b/again/g' "$here/neovim/program.asm" > by-hand.asm
"$brennor" p.asm && mv out.hex renamed.hex
"$brennor" by-hand.asm
cmp -s out.hex renamed.hex || { echo "the renamed source assembles to another image"; fail=1; }
cmp -s p.asm by-hand.asm || { echo "eglot's rename differs from the rename by hand"; fail=1; }
[ "$fail" -eq 0 ] && echo "emacs test passed"
exit "$fail"
