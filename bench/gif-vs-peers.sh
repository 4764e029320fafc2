#!/usr/bin/env bash
# Times our GIF decoder and encoder against giflib's gif2rgb and ImageMagick
# on the same 6000 x 4000 8-bit picture, in one run, whole-process, best of
# N runs each; also peak memory (maximum resident set).
#   bench/gif-vs-peers.sh [RUNS]        (default 5)
# The picture is a photo-like plasma with noise reduced to 256 colours,
# made once with ImageMagick into $PICTORAND_BENCH_DIR (default
# /tmp/pictorand-bench). Outputs go to /dev/shm so disk speed does not count.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
data=${PICTORAND_BENCH_DIR:-/tmp/pictorand-bench}
out=$(mktemp -d /dev/shm/pictorand-gif-XXXXXX)
trap 'rm -rf "$out"' EXIT
mkdir -p "$data"

cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DPICTORAND_BENCH=ON -DPICTORAND_TESTS=OFF \
  -DPICTORAND_GUI=OFF >/dev/null
cmake --build build/bench --target bench_gif_tool bench_gif_benchmark pictorand32-convert >/dev/null
tool=build/bench/bench/bench_gif_tool
convert_tool=build/bench/tools/convert/pictorand32-convert

photo=$data/photo-6000x4000.gif
if [ ! -s "$photo" ]; then
  echo "making $photo ..."
  convert -seed 7 -size 1500x1000 plasma:fractal -blur 0x1 -resize 6000x4000 +noise Gaussian \
    -colors 256 "$photo"
fi
[ -s "$data/photo.miff" ] || convert "$photo" "$data/photo.miff"
ls -l "$photo"

# Best elapsed seconds, best CPU seconds (user + system) and peak KB over
# $runs runs of a command. On a shared machine the CPU time is the steadier.
measure() {
  local best=999999 bestcpu=999999 peak=0 seconds cpu kb
  for _ in $(seq "$runs"); do
    /usr/bin/time -o "$out/time.txt" -f "%e %U %S %M" "$@" >/dev/null 2>&1 || true
    read -r seconds user system kb < <(tail -1 "$out/time.txt")
    cpu=$(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }')
    best=$(awk -v a="$seconds" -v b="$best" 'BEGIN { print (a < b) ? a : b }')
    bestcpu=$(awk -v a="$cpu" -v b="$bestcpu" 'BEGIN { print (a < b) ? a : b }')
    [ "$kb" -gt "$peak" ] && peak=$kb
  done
  echo "$best $bestcpu $peak"
}
report() { printf '%-44s %6.2f s elapsed %6.2f s CPU %8d KB\n' "$1" "$2" "$3" "$4"; }

echo
echo "Decoding (whole process, best of $runs):"
read -r t c m < <(measure "$tool" decode "$photo");                              report "ours: decode" "$t" "$c" "$m"
ours_decode=$c
read -r t c m < <(measure "$tool" decode "$photo" "$out/ours.raw");              report "ours: decode + write the block" "$t" "$c" "$m"
# The converter never replaces a file: each run starts without its output.
bmp_out=$out/$(basename "$photo" .gif).BMP
if [ -x "$convert_tool" ] && "$convert_tool" -t bmp -o "$out" "$photo" >/dev/null 2>&1; then
  read -r t c m < <(measure sh -c 'rm -f "$1"; exec "$2" -t bmp -o "$3" "$4"' _ "$bmp_out" "$convert_tool" "$out" "$photo")
  report "ours: pictorand32-convert -t bmp" "$t" "$c" "$m"
fi
read -r t c m < <(measure gif2rgb -1 -o "$out/giflib.rgb" "$photo");             report "giflib: gif2rgb -1 (writes RGB)" "$t" "$c" "$m"
giflib_decode=$c
read -r t c m < <(measure convert "$photo" null:);                               report "ImageMagick: convert to null:" "$t" "$c" "$m"
magick_read_gif=$c

echo
echo "Encoding:"
read -r t c m < <(measure "$tool" encode "$photo" "$out/ours.gif");              report "ours: decode + encode" "$t" "$c" "$m"
ours_both=$c
read -r t c m < <(measure "$tool" encode "$photo" "$out/ours-i.gif" --interlaced); report "ours: decode + encode interlaced" "$t" "$c" "$m"
read -r t c m < <(measure convert "$photo" "$out/magick.gif");                   report "ImageMagick: GIF to GIF" "$t" "$c" "$m"
magick_both=$c
read -r t c m < <(measure convert "$data/photo.miff" "$out/magick2.gif");        report "ImageMagick: MIFF to GIF" "$t" "$c" "$m"
magick_miff_gif=$c
read -r t c m < <(measure convert "$data/photo.miff" null:);                     report "ImageMagick: MIFF to null:" "$t" "$c" "$m"
magick_miff_null=$c

echo
echo "Encoding alone (Google Benchmark, CPU time of the write, best of $runs):"
ours_encode_ms=$(PICTORAND_BENCH_GIF="$photo" build/bench/bench/bench_gif_benchmark --benchmark_filter='encodeGif/interlaced:0' \
  --benchmark_repetitions="$runs" 2>/dev/null | awk '/encodeGif\/interlaced:0\/real_time /{print $4}' | sort -n | head -1)
PICTORAND_BENCH_GIF="$photo" build/bench/bench/bench_gif_benchmark --benchmark_repetitions=1 2>/dev/null | grep -E '^(decode|encode|scan)'

echo
echo "Summary:"
awk -v o="$ours_decode" -v g="$giflib_decode" 'BEGIN { printf "  decode (CPU): ours %.2f s, gif2rgb %.2f s (%.1fx)\n", o, g, g / o }'
awk -v ob="$ours_both" -v od="$ours_decode" -v mb="$magick_both" -v mr="$magick_read_gif" \
    -v mg="$magick_miff_gif" -v mn="$magick_miff_null" -v oe="$ours_encode_ms" 'BEGIN {
  printf "  whole process GIF to GIF (CPU): ours %.2f s, ImageMagick %.2f s (%.1fx)\n", ob, mb, mb / ob
  mw = mg - mn
  printf "  writing alone: ours %.0f ms (benchmark CPU time), ImageMagick %.0f ms (CPU of MIFF to GIF minus MIFF to null:) (%.1fx)\n", oe, mw * 1000, mw * 1000 / oe
}'
compare -metric AE "$photo" "$out/ours.gif" null: 2>&1 | sed 's/^/  pixels differing from the source after our round trip: /'; echo
