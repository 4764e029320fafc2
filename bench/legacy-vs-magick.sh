#!/usr/bin/env bash
# Times whole-process conversions of a 6000 x 4000 picture from each of the
# older formats (PCX, Targa, Sun raster, PPM, PGM, PBM) to BMP:
# pictorand32-convert against ImageMagick's convert, in one hyperfine run per
# format, and prints how many times faster we are (target: at least 3 each).
#   bench/legacy-vs-magick.sh            (RUNS=n to change the run count)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/setup.sh
# A noisy picture: run-length coders find few runs, as in photographs.
convert -size 6000x4000 gradient:navy-orange -attenuate 0.3 +noise uniform -depth 8 -type truecolor "$work/source.ppm"
convert "$work/source.ppm" "$work/picture.pcx"                        # 24 bits, three planes, run-length
convert "$work/source.ppm" -orient TopLeft "$work/picture.tga"        # 24 bits, uncompressed
convert "$work/source.ppm" -orient TopLeft -compress RLE "$work/picture-rle.tga"
convert "$work/source.ppm" "$work/picture.ras"                        # 24 bits
cp "$work/source.ppm" "$work/picture.ppm"
convert "$work/source.ppm" -colorspace gray "$work/picture.pgm"
convert "$work/source.ppm" -monochrome "$work/picture.pbm"

summary=""
for input in picture.pcx picture.tga picture-rle.tga picture.ras picture.ppm picture.pgm picture.pbm; do
  name=${input%.*}
  # The converter never replaces a file, so every run starts from empty folders.
  hyperfine --warmup 1 --runs "${RUNS:-5}" --export-csv "$work/times.csv" --style basic \
    --prepare "rm -f $work/ours/* $work/magick/*" \
    -n "pictorand32-convert $input" "$ours -t bmp -o $work/ours $work/$input" \
    -n "ImageMagick $input" "convert $work/$input BMP3:$work/magick/$name.bmp" >&2
  # Wall time decides; CPU time (user + system) is printed beside it because
  # on a loaded machine the wall time of both tools is mostly waiting.
  line=$(awk -F, -v input="$input" 'NR == 2 { ours = $2; oursCpu = $5 + $6 } NR == 3 { magick = $2; magickCpu = $5 + $6 }
    END { printf "%-16s pictorand32-convert %7.1f ms, ImageMagick %7.1f ms: %5.1fx faster (CPU %6.1f ms against %7.1f ms: %5.1fx)\n",
          input, ours * 1000, magick * 1000, magick / ours, oursCpu * 1000, magickCpu * 1000, magickCpu / oursCpu }' \
    "$work/times.csv")
  summary+="$line"$'\n'
done
printf '\n%s' "$summary"
