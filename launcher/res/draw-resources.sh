#!/bin/bash
# Draws the launcher's icons and About picture with ImageMagick:
#   draw-resources.sh OUTDIR
# Icons 2-6 (application, Options, About, Help, Exit) get a 16x16 and a
# 32x32 image each; the About picture is a 300x400 JFIF JPEG.
set -eu
out=$1
mkdir -p "$out"
cd "$out"

# icon NAME BACKGROUND DRAW...: the drawing is made for 32x32 and scaled
# down for the 16x16 image.
icon() {
  local name=$1 bg=$2
  shift 2
  convert -size 32x32 xc:none -fill "$bg" -stroke '#202020' -strokewidth 1 \
    -draw 'roundrectangle 1,1 30,30 6,6' "$@" "PNG32:$name-32.png"
  convert "$name-32.png" -resize 16x16 "PNG32:$name-16.png"
  convert "$name-16.png" "$name-32.png" "$name.ico"
}

# Application: a camera aperture.
icon app '#3a6ea5' -fill '#f0f0f0' -stroke none -draw 'circle 16,16 16,5' \
  -fill '#3a6ea5' -draw 'circle 16,16 16,10' \
  -fill '#f0c040' -draw 'circle 16,16 16,14'
# Options: a check mark in a box.
icon options '#5a8f3c' -fill '#ffffff' -stroke none \
  -draw 'rectangle 8,8 24,24' -stroke '#204010' -strokewidth 3 -fill none \
  -draw 'polyline 10,16 14,21 22,10'
# About: a letter i.
icon about '#2f5f9f' -fill '#ffffff' -stroke none \
  -draw 'circle 16,9 16,6' -draw 'rectangle 13,13 19,26'
# Help: a question mark drawn with arcs and a dot.
icon help '#8f5fa5' -fill none -stroke '#ffffff' -strokewidth 3 \
  -draw 'arc 10,6 22,16 180,90' -draw 'line 16,16 16,20' \
  -fill '#ffffff' -stroke none -draw 'circle 16,25 16,23'
# Exit: a cross.
icon exit '#b03030' -fill none -stroke '#ffffff' -strokewidth 4 \
  -draw 'line 10,10 22,22' -draw 'line 22,10 10,22'

# About picture: a sky-to-ground gradient with a lens and a horizon.
convert -size 300x400 gradient:'#4a78b0-#d8c898' \
  -fill '#2c2c34' -draw 'circle 150,170 150,70' \
  -fill '#50607a' -draw 'circle 150,170 150,95' \
  -fill '#8fa8c8' -draw 'circle 150,170 150,125' \
  -fill '#f4f0e0' -draw 'circle 128,148 128,138' \
  -fill '#6a7a3a' -draw 'polygon 0,330 80,300 170,320 300,290 300,400 0,400' \
  -fill '#3a4a20' -draw 'polygon 0,360 120,340 220,365 300,350 300,400 0,400' \
  -strip -quality 90 -sampling-factor 2x2 "JPEG:about.jpg"
