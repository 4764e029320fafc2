#!/usr/bin/env bash
# The lossless turn's seeds: the JPEG reader's seeds of each kind (subsampled,
# full chroma, EXIF orientation, grey, arithmetic), and a progressive picture
# whose sides are not whole blocks, made by ImageMagick.
set -euo pipefail
cd "$(dirname "$0")"
mkdir -p corpus/jpegturn
for seed in colour_420 colour_444 exif-orientation-6 grey arithmetic; do
  cp "corpus/jpeg/$seed.jpg" corpus/jpegturn/
done
convert -size 61x45 plasma:fractal -quality 70 -interlace JPEG corpus/jpegturn/progressive-partial-blocks.jpg
