#!/usr/bin/env bash
# Starts tarnwick in a real window under Xvfb, checks the colours of a cell
# and of the viewport on a screenshot, then closes the window and checks
# that the program ended.
#   smoke_test.sh TARNWICK X11_WINDOW_TOOL
set -euo pipefail
program=$1
tool=$2
work=$(mktemp -d)
pid=
xvfb=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display and writes its number once it is ready. It
# must not reset when its last client leaves (as it does by default), or a
# program started just then finds no display.
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp -noreset 3>"$work/display" \
  >"$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"
# And it answers a client before the program is started.
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
xdpyinfo >/dev/null 2>&1 || { echo "Xvfb does not answer"; cat "$work/xvfb.log"; exit 1; }

QT_QPA_PLATFORM=xcb "$program" &
pid=$!
found=
for _ in $(seq 100); do
  found=$("$tool" find Quellmark 2>/dev/null) && break
  sleep 0.1
done
[ -n "$found" ] || { echo "no window titled Quellmark appeared"; exit 1; }
pixel() {
  convert "$work/screen.png" -crop "1x1+$1+$2" \
    -format '%[fx:round(255*r)],%[fx:round(255*g)],%[fx:round(255*b)]' info:
}
# The client area is the window's bottom 435 pixels, below the menu bar.
# At the start the grid is scrolled 15000 twips up: cell 196 (row 49,
# column 0) stands at 840, 18000 - 15000 = 3000 in Frame1 (360, 240), and
# the viewport shows its own colour left of the cells.
# A loaded machine may take a while to size and paint the window: look
# again for some seconds, asking for its place each time.
for _ in $(seq 20); do
  # A failed look (the window between two states) is a look to take again.
  if ! found=$("$tool" find Quellmark); then sleep 0.5; continue; fi
  read -r window x y width height <<<"$found"
  top=$((y + height - 435))
  import -window root "$work/screen.png"
  cell=$(pixel $((x + (360 + 840 + 500) / 15)) $((top + (240 + 3000 + 120) / 15)))
  view=$(pixel $((x + (360 + 150) / 15)) $((top + (240 + 1500) / 15)))
  [ "$cell" = 255,255,255 ] && [ "$view" = 128,128,128 ] && break
  sleep 0.5
done
echo "window $window at $x,$y, $width by $height; cell: $cell, viewport: $view"
[ "$cell" = 255,255,255 ] || { echo "the cell is not white"; exit 1; }
[ "$view" = 128,128,128 ] || { echo "the viewport is not grey"; exit 1; }

"$tool" close "$window"
for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then echo "the program is still running"; exit 1; fi
wait "$pid" || { echo "the program failed"; exit 1; }
pid=

# A file named on the command line opens at start: the title names it and
# cell 196 (row 49, column 0), on in the file, is lit.
printf '0010%0128d\r\n' 0 >"$work/start.ptn"
QT_QPA_PLATFORM=xcb "$program" "$work/start.ptn" &
pid=$!
title="Quellmark ($work/start.ptn)"
for _ in $(seq 40); do
  if found=$("$tool" find "$title" 2>/dev/null); then
    read -r window x y width height <<<"$found"
    top=$((y + height - 435))
    import -window root "$work/screen.png"
    cell=$(pixel $((x + (360 + 840 + 500) / 15)) $((top + (240 + 3000 + 120) / 15)))
    [ "$cell" = 128,255,128 ] && break
  fi
  sleep 0.25
done
[ -n "$found" ] || { echo "no window titled $title appeared"; exit 1; }
echo "with a file: cell $cell"
[ "$cell" = 128,255,128 ] || { echo "the cell of the file is not lit"; exit 1; }
"$tool" close "$window"
wait "$pid" || { echo "the program failed"; exit 1; }
pid=
echo "smoke test passed"
