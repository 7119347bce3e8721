#!/usr/bin/env bash
# Renders the pack's lettering (white on black, DejaVu fonts) into the TGA files kept
# next to this script. Run by hand when the artwork changes; the build only packs the
# results. Needs ImageMagick and fonts-dejavu-core.
set -euo pipefail
cd "$(dirname "$0")"

fonts=/usr/share/fonts/truetype/dejavu
# -type TrueColor keeps 24-bit colour even for grey lettering. The TGA header says
# bottom-left origin (the row order OpenGL wants), but ImageMagick 6 stores the top
# row first; -flip makes the rows agree with the header.
letter() {  # out size font points compression text
  convert -size "$2" xc:black -font "$fonts/$3" -fill white -pointsize "$4" \
    -gravity center -annotate +0+0 "$6" -flip -type TrueColor -depth 8 -compress "$5" \
    +set comment "tga:$1"
}

letter badge.tga            256x32  DejaVuSans-Bold.ttf       20 None "Ambrel"
letter intro-title.tga      256x64  DejaVuSans-ExtraLight.ttf 46 RLE  "Ambrel"
letter intro-subtitle.tga   256x128 DejaVuSans.ttf            24 RLE  $'water over\nyour screen'
letter caption-still.tga    512x32  DejaVuSans.ttf            20 None "Still water runs deep"
letter caption-tide.tga     512x32  DejaVuSans.ttf            20 RLE  "Breathe with the tide"
