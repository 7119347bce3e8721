#!/usr/bin/env bash
# Regenerates the decoder fixtures with ImageMagick: a 7x5 picture as raw and
# run-length TGA at 24 and 32 bits, and ImageMagick's pixel dump of the source
# picture (top row first). ImageMagick 6 stores the top row first while its header
# says bottom-left origin, so the pictures are flipped on the way in: the files then
# agree with their headers (GdkPixbuf's TGA reader shows them upright).
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

convert -size 7x5 gradient:'rgb(255,128,0)'-'rgb(0,64,255)' -fill white -draw 'point 0,0' \
  -fill black -draw 'point 6,4' -fill 'rgb(255,0,255)' -draw 'point 3,2' -depth 8 "$tmp/p24.png"
convert "$tmp/p24.png" \( -size 7x5 gradient:white-'gray(40)' \) -alpha off \
  -compose CopyOpacity -composite -depth 8 "$tmp/p32.png"

convert "$tmp/p24.png" -flip -type TrueColor -compress None tga:raw24.tga
convert "$tmp/p24.png" -flip -type TrueColor -compress RLE tga:rle24.tga
convert "$tmp/p32.png" -flip -type TrueColorAlpha -compress None tga:raw32.tga
convert "$tmp/p32.png" -flip -type TrueColorAlpha -compress RLE tga:rle32.tga
convert "$tmp/p24.png" -depth 8 rgb:raw24.rgb
cp raw24.rgb rle24.rgb
convert "$tmp/p32.png" -depth 8 rgba:raw32.rgba
cp raw32.rgba rle32.rgba

convert "$tmp/p24.png" pic.gif
convert pic.gif -depth 8 rgb:pic-gif.rgb
convert -size 4x2 xc:'rgb(255,0,0)' -fill 'rgb(0,0,255)' -draw 'point 0,0' -quality 100 plain.jpg
convert -size 3x2 xc:'rgb(0,128,128)' -define webp:lossless=true small.webp
