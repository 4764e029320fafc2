#!/usr/bin/env bash
# Times a whole-process BMP -> BMP conversion of a 6000 x 4000 24-bit picture:
# pictorand32-convert against ImageMagick's convert, in one hyperfine run, and
# prints how many times faster we are (target: at least 3).
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/setup.sh
convert -size 6000x4000 gradient:navy-orange -attenuate 0.3 +noise uniform -type truecolor BMP3:"$work/input.bmp"
# Our files and ImageMagick's both carry the 40-byte header (BMP3). The
# converter never replaces a file, so both outputs go before every run.
hyperfine -N --warmup 2 --runs "${RUNS:-10}" --export-csv "$work/times.csv" \
  --prepare "rm -f $work/ours/input.BMP $work/magick/input.bmp" \
  -n pictorand32-convert "$ours -t bmp -o $work/ours $work/input.bmp" \
  -n "ImageMagick convert" "convert $work/input.bmp BMP3:$work/magick/input.bmp"
awk -F, 'NR == 2 { ours = $2 } NR == 3 { magick = $2 }
  END { printf "pictorand32-convert %.1f ms, ImageMagick %.1f ms: %.1fx faster\n", ours * 1000, magick * 1000, magick / ours }' \
  "$work/times.csv"
