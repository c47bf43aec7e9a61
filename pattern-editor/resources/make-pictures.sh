#!/usr/bin/env bash
# Draws the editor's pictures with ImageMagick; the files it makes are kept
# in the repository beside it. Run it again after changing a picture.
set -euo pipefail
cd "$(dirname "$0")"

# A little lit pattern: columns of cells on a grey ground, some of them on.
# Arguments: output, width, height, cell size, seed of the cells that are on.
pattern() {
  local out=$1 width=$2 height=$3 size=$4 seed=$5
  local draw=() x y n=$seed
  for ((y = size / 2; y + size <= height; y += size + 4)); do
    for ((x = size / 2; x + size <= width; x += size + 6)); do
      n=$(((n * 1103515245 + 12345) % 2147483648))
      if (((n >> 16) % 3 == 0)); then colour='#80FF80'; else colour='#FFFFFF'; fi
      draw+=(-fill "$colour" -draw "rectangle $x,$y $((x + size)),$((y + size / 3))")
    done
  done
  convert -size "${width}x${height}" "gradient:#606060-#909090" "${draw[@]}" \
    -quality 90 "$out"
}

# Image1 of the message window: 88 by 90, a column of two cells, one lit,
# and beside them, clear of their borders, a question mark.
convert -size 88x90 xc:'#C0C0C0' \
  -fill '#80FF80' -stroke black -draw 'rectangle 8,14 40,40' \
  -fill white -draw 'rectangle 8,50 40,76' \
  -stroke none -fill black -font DejaVu-Sans-Bold -pointsize 44 \
  -gravity center -annotate +20+0 '?' \
  image1.gif

pattern assembler.jpg 137 121 18 7
pattern editor.jpg 201 145 22 11
pattern files.jpg 193 137 20 23
pattern random.jpg 193 169 20 42

# The program's icon: four columns of cells on a dark rounded tile, some of
# them lit, drawn large once and scaled to the sizes desktops look for.
icon=()
for ((row = 0; row < 5; ++row)); do
  for ((column = 0; column < 4; ++column)); do
    x=$((36 + column * 48))
    y=$((28 + row * 42))
    if (((row * 4 + column) % 3 == 0 || (row + column) % 5 == 0)); then colour='#80FF80'; else colour='#FFFFFF'; fi
    icon+=(-fill "$colour" -draw "rectangle $x,$y $((x + 38)),$((y + 30))")
  done
done
mkdir -p icons
convert -size 256x256 xc:none -fill '#505050' -draw 'roundrectangle 8,8 247,247 28,28' \
  -stroke black -strokewidth 2 "${icon[@]}" /tmp/tarnwick-icon-$$.png
for size in 16 22 24 32 48 64 128 256; do
  convert /tmp/tarnwick-icon-$$.png -resize "${size}x${size}" -strip "icons/tarnwick-$size.png"
done
rm -f /tmp/tarnwick-icon-$$.png
