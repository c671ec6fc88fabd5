#!/usr/bin/env bash
# Writes the animated GIFs of this folder with ImageMagick, and for each the frames as
# ImageMagick itself composes them (-coalesce), the reference the player's frames are held to.
set -euo pipefail
cd "$(dirname "$0")"
im() { convert "$@"; }

# Disposal "restore to background": a blue first frame (its bottom rows transparent), a red
# square that is cleared to transparency before the next frame, then yellow and lime squares.
# Every frame has a transparent column: Qt 6.4 clears a frame without a transparent colour to
# an entry of the wrong colour table, where browsers and ImageMagick clear to transparency.
im -dispose none -delay 20 -size 40x30 xc:none -fill blue -draw 'rectangle 0,0 39,24' \
   -dispose background -delay 20 -page +5+5 \( -size 10x10 xc:none -fill red -draw 'rectangle 1,0 9,9' \) \
   -dispose none -delay 30 -page +20+10 \( -size 10x10 xc:none -fill yellow -draw 'rectangle 1,0 9,9' \) \
   -delay 40 -page +25+15 \( -size 8x8 xc:none -fill lime -draw 'rectangle 1,0 7,7' \) \
   -loop 0 dispose-background.gif

# Disposal "restore to previous": the red square is undone before the next frame is drawn.
im -dispose none -delay 10 -size 40x30 xc:navy \
   -dispose previous -delay 20 -page +5+5 -size 12x12 xc:red \
   -dispose none -delay 20 -page +22+8 -size 10x10 xc:white \
   -delay 50 -page +0+20 -size 40x4 xc:orange \
   -loop 0 dispose-previous.gif

# Transparency over the background: a transparent canvas with shapes that move; their holes
# show what lies under the picture. Each frame has its own colours (local colour tables).
im -dispose background -delay 15 -size 48x32 xc:none -fill red -draw 'circle 10,16 10,6' \
   \( -size 48x32 xc:none -fill '#00c0ff' -draw 'rectangle 16,6 32,26' \) \
   \( -size 48x32 xc:none -fill '#ffe000' -draw 'circle 38,16 38,6' \) \
   \( -size 48x32 xc:none -fill '#40ff40' -draw 'polygon 4,28 24,2 44,28' \) \
   -loop 0 transparent-local-palettes.gif

for gif in dispose-background dispose-previous transparent-local-palettes; do
    im "$gif.gif" -coalesce "png32:$gif-ref-%d.png"
done
