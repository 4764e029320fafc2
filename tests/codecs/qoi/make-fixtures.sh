#!/usr/bin/env bash
# Makes the QOI fixtures with the format's reference encoder (qoiconv, Debian's
# qoi package, which reads PNG through stb_image) from the rose sample
# (70 x 46). alpha.png is kept beside its QOI file: the test compares our
# reading of alpha.qoi with ImageMagick's of the PNG it was made from. Run from
# the top of the source tree; the files are committed.
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
out=tests/codecs/qoi/fixtures
mkdir -p "$out"
convert samples/rose-24bit.bmp -depth 8 "png24:$work/rose.png"
qoiconv "$work/rose.png" "$out/rose.qoi"
# Alpha from transparent at the left to opaque at the right, on a 35 x 23 crop.
convert samples/rose-24bit.bmp -crop 35x23+20+10 +repage \( -size 23x35 gradient:black-white -rotate 90 \) \
  -alpha off -compose copy_opacity -composite -depth 8 "png32:$out/alpha.png"
qoiconv "$out/alpha.png" "$out/alpha.qoi"
