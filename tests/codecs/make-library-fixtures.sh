#!/usr/bin/env bash
# Makes the WebP, HEIC, AVIF and JPEG XL fixtures of tests/codecs/*/fixtures
# with each format's own encoder, from the rose sample (70 x 46). Run from
# the top of the source tree; the files are committed, so this runs only
# when they change. Tools: webp, libheif-examples, libavif-bin, libjxl-tools,
# imagemagick, and libheif-dev/libjxl-dev for the helper that writes
# orientations the tools cannot.
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rose=samples/rose-24bit.bmp
convert "$rose" -depth 8 "$work/rose.ppm"
convert "$rose" -depth 8 "png24:$work/rose.png"
# Alpha from transparent at the left to opaque at the right.
convert "$rose" \( -size 46x70 gradient:black-white -rotate 90 \) -alpha off -compose copy_opacity -composite \
  -depth 8 "png32:$work/rose-alpha.png"
convert "$rose" -colorspace Gray -depth 8 -define png:color-type=0 "png:$work/rose-grey.png"
convert "$rose" -depth 16 "png48:$work/rose-16.png"
convert "$rose" \( -size 46x70 gradient:black-white -rotate 90 \) -alpha off -compose copy_opacity -composite \
  -depth 16 "png64:$work/rose-alpha-16.png"
convert "$rose" -crop 69x45+0+0 +repage -depth 8 "png24:$work/rose-odd.png"
# An embedded profile (ghostscript's 564-byte Adobe RGB one), only assigned.
convert "$work/rose.png" -profile /usr/share/color/icc/ghostscript/a98.icc "png24:$work/rose-icc.png"
g++ -O1 -std=c++20 tests/codecs/make_oriented_fixture.cpp -o "$work/oriented" \
  $(pkg-config --cflags --libs libheif libjxl)

out=tests/codecs/webp/fixtures
mkdir -p "$out"
cwebp -quiet -q 75 "$work/rose.png" -o "$out/lossy.webp"
cwebp -quiet -lossless "$work/rose-odd.png" -o "$out/lossless.webp"
cwebp -quiet -q 80 -exact "$work/rose-alpha.png" -o "$out/alpha.webp"
# Two frames; the second is never shown.
convert "$rose" -negate "png24:$work/negative.png"
cwebp -quiet -metadata icc "$work/rose-icc.png" -o "$out/icc.webp"
img2webp -lossless "$work/rose-alpha.png" -d 100 "$work/negative.png" -o "$out/animated.webp" >/dev/null

out=tests/codecs/heif/fixtures
mkdir -p "$out"
heif-enc -q 60 "$work/rose.png" -o "$out/lossy.heic"
heif-enc -q 60 "$work/rose-icc.png" -o "$out/icc.heic"
heif-enc -q 60 "$work/rose-alpha.png" -o "$out/alpha.heic"
heif-enc -q 60 "$work/rose-grey.png" -o "$out/grey.heic"
heif-enc -q 60 -b 10 "$work/rose-16.png" -o "$out/ten-bit.heic"
heif-enc -q 60 -b 12 "$work/rose-16.png" -o "$out/twelve-bit.heic"
# stream-larger-than-declared.heic is a fuzzing finding, kept as it was found.
# EXIF orientation 6 (turned right) and 5 (turned right, then mirrored).
"$work/oriented" heic 6 "$work/rose.ppm" "$out/rotated.heic"
"$work/oriented" heic 5 "$work/rose.ppm" "$out/rotated-mirrored.heic"

out=tests/codecs/avif/fixtures
mkdir -p "$out"
avifenc -s 8 -y 420 "$work/rose.png" "$out/lossy.avif" >/dev/null
avifenc -s 8 -y 444 --lossless "$work/rose-odd.png" "$out/lossless.avif" >/dev/null
avifenc -s 8 -y 420 "$work/rose-icc.png" "$out/icc.avif" >/dev/null
avifenc -s 8 -y 420 "$work/rose-alpha.png" "$out/alpha.avif" >/dev/null
avifenc -s 8 -y 400 "$work/rose-grey.png" "$out/grey.avif" >/dev/null
avifenc -s 8 -y 420 -d 10 "$work/rose-16.png" "$out/ten-bit.avif" >/dev/null
avifenc -s 8 -y 420 -d 12 "$work/rose-16.png" "$out/twelve-bit.avif" >/dev/null
avifenc -s 8 -y 444 -d 10 "$work/rose-alpha-16.png" "$out/ten-bit-alpha.avif" >/dev/null
avifenc -s 8 -y 444 --irot 1 "$work/rose.png" "$out/rotated.avif" >/dev/null
avifenc -s 8 -y 444 --irot 3 --imir 1 "$work/rose.png" "$out/rotated-mirrored.avif" >/dev/null
avifenc -s 8 -y 444 --imir 0 "$work/rose.png" "$out/mirrored.avif" >/dev/null
avifenc -s 8 -y 444 --crop 4,2,60,40 "$work/rose.png" "$out/cropped.avif" >/dev/null
# Eight colours (tests/codecs/coded-colours-reference.py gives them in sRGB)
# said to be Display P3, and BT.2020 with the BT.709 curve, by code points.
/usr/bin/python3 -c 'import sys; from PIL import Image; i = Image.new("RGB", (4, 2)); i.putdata([(200, 100, 50), (60, 180, 90), (90, 90, 200), (128, 128, 128), (230, 200, 150), (30, 60, 40), (250, 250, 250), (100, 40, 140)]); i.save(sys.argv[1])' "$work/coded.png"
avifenc -s 8 --lossless --cicp 12/13/0 "$work/coded.png" "$out/display-p3.avif" >/dev/null
avifenc -s 8 --lossless --cicp 9/1/0 "$work/coded.png" "$out/bt2020.avif" >/dev/null
# Eight 10-bit colours (codes 520,400,300 593 700,650,600 769 300 450,500,420 900
# 100,200,300) in BT.2020 with the PQ and with the HLG curve.
{ echo '# ImageMagick pixel enumeration: 4,2,65535,srgb'
  printf '%s\n' 0,0:"(33312,25625,19218)" 1,0:"(37989,37989,37989)" 2,0:"(44843,41640,38437)" \
    3,0:"(49263,49263,49263)" 0,1:"(19218,19218,19218)" 1,1:"(28828,32031,26906)" 2,1:"(57655,57655,57655)" \
    3,1:"(6406,12812,19218)"; } > "$work/high.txt"
convert "txt:$work/high.txt" -depth 16 "png48:$work/high.png"
avifenc -s 8 -d 10 --lossless --cicp 9/16/0 "$work/high.png" "$out/pq.avif" >/dev/null 2>&1
avifenc -s 8 -d 10 --lossless --cicp 9/18/0 "$work/high.png" "$out/hlg.avif" >/dev/null 2>&1
# plays-*.avif: avifenc's three-frame sequence given the edit list it cannot write.
/usr/bin/python3 tests/codecs/avif/make_plays_fixtures.py

out=tests/codecs/jxl/fixtures
mkdir -p "$out"
cjxl -d 1 "$work/rose.png" "$out/lossy.jxl" 2>/dev/null
cjxl -d 0 "$work/rose-odd.png" "$out/lossless.jxl" 2>/dev/null
cjxl -d 0 "$work/rose-icc.png" "$out/icc.jxl" 2>/dev/null
# The 10-bit colours of pq.avif and hlg.avif at 16 bits, said to be BT.2100
# PQ and HLG (a PPM: cjxl would take a PNG's gamma over the hint).
convert "txt:$work/high.txt" -depth 16 "$work/high.ppm"
cjxl -d 0 -x color_space=RGB_D65_202_Rel_PeQ "$work/high.ppm" "$out/pq.jxl" 2>/dev/null
cjxl -d 0 -x color_space=RGB_D65_202_Rel_HLG "$work/high.ppm" "$out/hlg.jxl" 2>/dev/null
cjxl -d 1 "$work/rose-alpha.png" "$out/alpha.jxl" 2>/dev/null
cjxl -d 0 "$work/rose-grey.png" "$out/grey.jxl" 2>/dev/null
cjxl -d 1 "$work/rose-16.png" "$out/sixteen-bit.jxl" 2>/dev/null
"$work/oriented" jxl 6 "$work/rose.ppm" "$out/rotated.jxl"
"$work/oriented" jxl 7 "$work/rose.ppm" "$out/rotated-mirrored.jxl"
# An animation whose codestream starts behind 100 KiB of XMP.
cjxl tests/dispatch/animations/three_frames.png "$work/container.jxl" -d 0 --container=1 >/dev/null 2>&1
/usr/bin/python3 tests/codecs/jxl/make_metadata_ahead.py "$work/container.jxl" "$out/metadata-ahead.jxl"
