#!/bin/sh
# Whole-process times and peak memory of shrinking a 6000 x 4000 photo-like
# picture to 1500 x 1000 and turning it a quarter clockwise: our converter
# (read BMP, operate, write BMP) against libvips and ImageMagick, one thread
# each, on the same picture in the same run. Runs are interleaved and each
# command's best of five is reported (the machine is shared, so the best run
# is the one least disturbed), with the peak resident memory of that run.
#   bench/ops-vs-peers.sh [BUILD_DIR]   (default build/bench, configured
#   with -DPICTORAND_BENCH=ON; the converter is built if missing)
# libvips reads and writes BMP only through ImageMagick (about four times
# slower than its own formats), so it is given the same pixels as a binary PPM,
# its fastest uncompressed format.
set -eu

build=${1:-build/bench}
converter=$build/tools/convert/pictorand32-convert
if [ ! -x "$converter" ]; then
    cmake --build "$build" --target pictorand32-convert >/dev/null
fi
for tool in convert vips bc; do
    if ! command -v $tool >/dev/null 2>&1; then
        echo "$tool is missing (apt-get install imagemagick libvips-tools bc)" >&2
        exit 1
    fi
done

export MAGICK_THREAD_LIMIT=1 OMP_NUM_THREADS=1 VIPS_CONCURRENCY=1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/out"

# A real photograph scaled up, with some noise so that it is not flat.
convert rose: -resize '6000x4000!' -attenuate 0.25 +noise Gaussian -depth 8 -type TrueColor BMP3:"$work/photo.bmp"
convert "$work/photo.bmp" -depth 8 "$work/photo.ppm"

names="ours_resample vips_shrink magick_scale ours_rotate vips_rot magick_rotate ours_plain"
command_for() {
    case $1 in
    ours_resample) echo "$converter --resample 1500x1000 -t bmp -o $work/out $work/photo.bmp" ;;
    vips_shrink) echo "vips shrink $work/photo.ppm $work/out/vips.ppm 4 4" ;;
    magick_scale) echo "convert $work/photo.bmp -scale 1500x1000 BMP3:$work/out/magick.bmp" ;;
    ours_rotate) echo "$converter --rotate-right -t bmp -o $work/out $work/photo.bmp" ;;
    vips_rot) echo "vips rot $work/photo.ppm $work/out/vips.ppm d90" ;;
    magick_rotate) echo "convert $work/photo.bmp -rotate 90 BMP3:$work/out/magick.bmp" ;;
    ours_plain) echo "$converter -t bmp -o $work/out $work/photo.bmp" ;;
    esac
}

for run in 1 2 3 4 5; do
    for name in $names; do
        # shellcheck disable=SC2046
        /usr/bin/time -f '%e %M' -o "$work/time" $(command_for $name) >/dev/null 2>&1
        read -r seconds kilobytes <"$work/time"
        best=$(cat "$work/$name.best" 2>/dev/null || echo "")
        if [ -z "$best" ] || [ "$(echo "$seconds < ${best% *}" | bc)" = 1 ]; then
            echo "$seconds $kilobytes" >"$work/$name.best"
        fi
    done
done

seconds_of() { cut -d' ' -f1 "$work/$1.best"; }
megabytes_of() { echo $(($(cut -d' ' -f2 "$work/$1.best") / 1024)); }

printf '%-34s %8s %8s\n' "6000x4000, best of 5, one thread" "seconds" "peak MB"
for name in $names; do
    printf '%-34s %8s %8s\n' "$name" "$(seconds_of $name)" "$(megabytes_of $name)"
done
echo "resample against vips shrink: $(echo "scale=2; $(seconds_of vips_shrink) / $(seconds_of ours_resample)" | bc)x" \
     "(target: at least 1x); against ImageMagick -scale:" \
     "$(echo "scale=2; $(seconds_of magick_scale) / $(seconds_of ours_resample)" | bc)x"
echo "rotate against vips rot d90: $(echo "scale=2; $(seconds_of vips_rot) / $(seconds_of ours_rotate)" | bc)x" \
     "(target: at least 1x); against ImageMagick -rotate 90:" \
     "$(echo "scale=2; $(seconds_of magick_rotate) / $(seconds_of ours_rotate)" | bc)x"
# Budgets in KiB: the source block, the result block, the scratch the
# operation names (resample: sums and one row of the source width; rotate:
# none at 24 bits) and 5 MiB.
source_kib=$(((6000 * 4000 * 3 + 40) / 1024))
resample_budget=$((source_kib + (1500 * 1000 * 3 + 40) / 1024 + (6000 * 3 * 5) / 1024 + 5 * 1024))
rotate_budget=$((2 * source_kib + 5 * 1024))
within() { if [ "$(cut -d' ' -f2 "$work/$1.best")" -le "$2" ]; then echo "within"; else echo "OVER"; fi; }
echo "peak memory: resample $(megabytes_of ours_resample) MB, budget $((resample_budget / 1024)) MB," \
     "$(within ours_resample $resample_budget); rotate $(megabytes_of ours_rotate) MB, budget" \
     "$((rotate_budget / 1024)) MB, $(within ours_rotate $rotate_budget)"
