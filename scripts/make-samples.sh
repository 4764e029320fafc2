#!/usr/bin/env bash
# Remakes the sample pictures under samples/ from ImageMagick's built-in
# images. Each is a few KB.
set -euo pipefail
cd "$(dirname "$0")/../samples"
convert rose: -type truecolor BMP3:rose-24bit.bmp
convert rose: -type palette -compress none BMP3:rose-8bit.bmp
convert logo: -resize 160x120 -type palette -compress RLE BMP3:logo-rle8.bmp
convert logo: -resize 120x90 -colors 16 -type palette -compress none BMP3:logo-4bit.bmp
convert logo: -resize 200x150 -colorspace gray -monochrome -type bilevel BMP3:logo-1bit.bmp
convert rose: -type truecolor BMP2:rose-os2.bmp
# One of every other format the program reads.
convert rose: -quality 85 rose-jpeg.jpg
convert rose: rose-png.png
convert logo: -resize 160x120 -colors 64 logo-gif.gif
convert rose: -depth 8 -compress lzw rose-lzw.tif
convert rose: -depth 8 rose-pcx.pcx
convert rose: -depth 8 rose-targa.tga
convert rose: -depth 8 rose-sun.ras
convert rose: -depth 8 rose-ppm.ppm
convert logo: -resize 48x48 -colors 16 logo-icon.ico
