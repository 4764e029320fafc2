#!/usr/bin/env bash
# Makes the animations of the formats whose frames come composed, from the
# same three 16x12 frames (make_frames.py: a.png opaque, b.png with a
# transparent hole, c.png), and their twins *_a98.* tagged with Ghostscript's
# Adobe RGB profile. Run from this folder; the frame files are scratch.
# Tools: Pillow for /usr/bin/python3, webp (cwebp, webpmux), libavif-bin
# (avifenc), libjxl-tools (cjxl), libgs-common (the profile).
set -euo pipefail
/usr/bin/python3 make_frames.py
# WebP: each frame a lossless picture of the whole canvas, not blended, so
# `webpmux -get frame N` is the frame as it shows; two plays.
for f in a b c; do cwebp -quiet -lossless -exact $f.png -o $f.webp; done
webpmux -frame a.webp +30+0+0+0-b -frame b.webp +5+0+0+0-b -frame c.webp +250+0+0+0-b -loop 2 \
  -bgcolor 255,255,255,255 -o three_frames.webp
# APNG: Pillow's writer (see make_apng.py): three plays.
/usr/bin/python3 make_apng.py
# AVIF: a sequence of three 4:4:4 y4m frames, losslessly, timescale 1000.
for f in 0 1 2; do /usr/bin/python3 make_y4m.py $f > f$f.y4m; done
avifenc --min 0 --max 0 --timescale 1000 --duration 30 f0.y4m --duration 5 f1.y4m --duration 250 f2.y4m \
  three_frames.avif >/dev/null
# JPEG XL from the APNG, losslessly (cjxl 0.7 keeps the delays, not the plays).
cjxl three_frames.png three_frames.jxl -d 0 >/dev/null 2>&1
# The tagged twins, each by its format's own writer: webpmux adds an ICCP
# chunk, Pillow an iCCP chunk, avifenc a colr box, and cjxl keeps the
# APNG's profile.
a98=/usr/share/color/icc/ghostscript/a98.icc
webpmux -set icc $a98 three_frames.webp -o three_frames_a98.webp
/usr/bin/python3 make_apng.py $a98
avifenc --min 0 --max 0 --timescale 1000 --icc $a98 --duration 30 f0.y4m --duration 5 f1.y4m --duration 250 f2.y4m \
  three_frames_a98.avif >/dev/null
cjxl three_frames_a98.png three_frames_a98.jxl -d 0 >/dev/null 2>&1
rm -f a.png b.png c.png a.webp b.webp c.webp f0.y4m f1.y4m f2.y4m
