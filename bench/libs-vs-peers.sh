#!/usr/bin/env bash
# Times the JPEG, PNG and TIFF glue against the peer tools on one 6000 x 4000
# photo-like picture, in one run:
#   bench/libs-vs-peers.sh [RUNS] [tiff|png]   (best of RUNS for each timing, default 3;
#                                               "tiff", "png": those figures only)
# Ours: in-process figures from bench_libs_bench (Google Benchmark) and
# whole-process figures of `pictorand32-convert --info` (load and normalise)
# and `pictorand32-convert -t tif` (BMP load and TIFF save).
# Peers: whole-process wall time of djpeg, ImageMagick, GraphicsMagick
# (apt-get install graphicsmagick) and vips (libvips-tools). The TIFF rows
# run ours and ImageMagick by turns and show processor time too: our big LZW
# and PackBits loads and saves use two threads, so their wall time counts
# only when the machine is otherwise quiet (the load average is printed with
# them). The same goes for the PNG save rows: ours on one thread
# (PICTORAND_THREADS=1) against the peers' processor time and file size,
# ours on two against their wall time; the PNG loads are checked to give the
# same pixels.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-3}
only=${2:-}
build=build/bench
data=$PWD/build/bench-data
mkdir -p "$data"

command -v vips >/dev/null || echo "note: vips missing (apt-get install libvips-tools)" >&2
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPICTORAND_GUI=OFF -DPICTORAND_TESTS=OFF \
  -DPICTORAND_BENCH=ON >/dev/null
cmake --build "$build" --target bench_libs_bench pictorand32-convert >/dev/null
ours_tool="$build/tools/convert/pictorand32-convert"

# The picture: fractal clouds with grain, so it compresses like a photo.
if [ ! -s "$data/photo.ppm" ]; then
  convert -seed 3 -size 1500x1000 plasma:fractal -blur 0x1 -resize 6000x4000! -attenuate 0.4 +noise Gaussian \
    -depth 8 "$data/photo.ppm"
fi
[ -s "$data/photo.jpg" ] || cjpeg -quality 85 "$data/photo.ppm" >"$data/photo.jpg"
[ -s "$data/photo.png" ] || convert "$data/photo.ppm" -define png:compression-level=6 -define png:compression-filter=5 \
  "$data/photo.png"
[ -s "$data/photo-none.tif" ] || convert "$data/photo.ppm" -depth 8 -compress none "$data/photo-none.tif"
[ -s "$data/photo-lzw.tif" ] || tiffcp -c lzw "$data/photo-none.tif" "$data/photo-lzw.tif"
[ -s "$data/photo.bmp" ] || convert "$data/photo.ppm" "bmp3:$data/photo.bmp"
[ -s "$data/photo-packbits.tif" ] || tiffcp -c packbits "$data/photo-none.tif" "$data/photo-packbits.tif"

# best_of COMMAND... : the smallest wall time of $runs runs, in seconds. The
# folder $fresh (when set) is emptied before each run: the converter leaves
# existing files alone.
best_of() {
  local best=""
  for _ in $(seq "$runs"); do
    local start end
    [ -n "${fresh:-}" ] && rm -rf "${fresh:?}"/*
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    best=$(echo "$start $end $best" | awk '{t = $2 - $1; if ($3 == "" || t < $3) print t; else print $3}')
  done
  printf '%.3f' "$best"
}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

echo "== picture: 6000 x 4000, $(du -h "$data/photo.jpg" | cut -f1) JPEG q85, $(du -h "$data/photo.png" | cut -f1) PNG"
echo "== ours, in process (Google Benchmark)"
filter=.
[ "$only" = tiff ] && filter=Tiff
[ "$only" = png ] && filter=Png
PICTORAND_BENCH_DATA="$data" "$build/bench/bench_libs_bench" --benchmark_format=console --benchmark_filter="$filter" \
  2>/dev/null | grep -E '^BM_' | awk '{printf "  %-26s %10.1f ms\n", $1, $2}'

if [ "$only" != tiff ]; then
echo "== whole process, best of $runs (seconds)"
if [ "$only" != png ]; then
printf '  %-44s %s\n' "JPEG  ours --info (load)" "$(best_of "$ours_tool" --info "$data/photo.jpg")"
printf '  %-44s %s\n' "JPEG  djpeg -bmp" "$(best_of djpeg -bmp -outfile "$scratch/d.bmp" "$data/photo.jpg")"
printf '  %-44s %s\n' "JPEG  ImageMagick to BMP" "$(best_of convert "$data/photo.jpg" "bmp3:$scratch/m.bmp")"
fi
printf '  %-44s %s\n' "PNG   ours --info (load)" "$(best_of "$ours_tool" --info "$data/photo.png")"
command -v vips >/dev/null && printf '  %-44s %s\n' "PNG   vips avg (load)" "$(best_of vips avg "$data/photo.png")"
printf '  %-44s %s\n' "PNG   ImageMagick (load)" "$(best_of convert "$data/photo.png" null:)"
# The loads must agree pixel for pixel: ours through a BMP, vips through a PPM.
mkdir -p "$scratch/load"
"$ours_tool" -t bmp -o "$scratch/load" "$data/photo.png" >/dev/null
convert "$data/photo.png" -depth 8 rgb:"$scratch/load/magick.rgb"
convert "$scratch"/load/photo.[Bb][Mm][Pp] -depth 8 rgb:"$scratch/load/ours.rgb"
same="ours = ImageMagick: $(cmp -s "$scratch/load/ours.rgb" "$scratch/load/magick.rgb" && echo yes || echo NO)"
if command -v vips >/dev/null; then
  vips copy "$data/photo.png" "$scratch/load/v.ppm"
  convert "$scratch/load/v.ppm" -depth 8 rgb:"$scratch/load/vips.rgb"
  same="$same, ours = vips: $(cmp -s "$scratch/load/ours.rgb" "$scratch/load/vips.rgb" && echo yes || echo NO)"
fi
echo "  PNG load pixels: $same   (targets: 1.5x faster than vips, 2x than ImageMagick)"
fi

# time_once COMMAND... : "wall processor" seconds of one run (processor: user
# plus system, all threads). The folder $fresh (when set) is emptied first.
time_once() {
  local TIMEFORMAT='%3R %3U %3S' times
  [ -n "${fresh:-}" ] && rm -rf "${fresh:?}"/*
  times=$( { time "$@" >/dev/null 2>&1; } 2>&1 )
  echo "$times" | awk '{printf "%.3f %.3f\n", $1, $2 + $3}'
}

# race LABEL [PEER] : runs the commands in the arrays ours and peer by turns, $runs
# times each (so that both meet the same load on a shared machine), and prints
# the best wall time of each with the processor time of that run, and how many
# times faster ours is, in wall and in processor time. ours_fresh and
# peer_fresh: output folders emptied before each run.
race() {
  local best_ours="" cpu_ours="" best_peer="" cpu_peer="" wall cpu
  for _ in $(seq "$runs"); do
    read -r wall cpu < <(fresh="${ours_fresh:-}" time_once "${ours[@]}")
    if [ -z "$best_ours" ] || awk "BEGIN {exit !($wall < $best_ours)}"; then best_ours=$wall cpu_ours=$cpu; fi
    read -r wall cpu < <(fresh="${peer_fresh:-}" time_once "${peer[@]}")
    if [ -z "$best_peer" ] || awk "BEGIN {exit !($wall < $best_peer)}"; then best_peer=$wall cpu_peer=$cpu; fi
  done
  printf '  %-22s ours %6.3f (cpu %6.3f)   %-14s %6.3f (cpu %6.3f)   wall %5.2fx, cpu %5.2fx\n' "$1" "$best_ours" \
    "$cpu_ours" "${2:-ImageMagick}" "$best_peer" "$cpu_peer" "$(awk "BEGIN {print $best_peer / $best_ours}")" \
    "$(awk "BEGIN {print $cpu_peer / $cpu_ours}")"
}

if [ "$only" != tiff ]; then
# The PNG save from a BMP (a load that costs next to nothing), every tool at
# its default settings. Ours on one thread (PICTORAND_THREADS=1) against
# processor time; on two against wall time. GraphicsMagick: apt-get install
# graphicsmagick.
echo "== PNG save whole process (BMP load + save), best wall of $runs runs by turns (seconds; cpu = user + system); load average: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "   targets: one thread >= 1.8x less cpu than ImageMagick and GraphicsMagick, file no larger; two threads >= 3x faster wall than the fastest peer"
mkdir -p "$scratch/race-ours" "$scratch/race-ours2" "$scratch/race-magick" "$scratch/race-gm"
ours=(env PICTORAND_THREADS=1 "$ours_tool" -t png -o "$scratch/race-ours" "$data/photo.bmp")
peer=(convert "$data/photo.bmp" "$scratch/race-magick/m.png")
ours_fresh="$scratch/race-ours" peer_fresh="$scratch/race-magick" race "bmp->png, 1 thread"
if command -v gm >/dev/null; then
  peer=(gm convert "$data/photo.bmp" "$scratch/race-gm/g.png")
  ours_fresh="$scratch/race-ours" peer_fresh="$scratch/race-gm" race "bmp->png, 1 thread" GraphicsMagick
else
  echo "  note: GraphicsMagick missing (apt-get install graphicsmagick)"
fi
ours=("$ours_tool" -t png -o "$scratch/race-ours2" "$data/photo.bmp")
peer=(convert "$data/photo.bmp" "$scratch/race-magick/m.png")
ours_fresh="$scratch/race-ours2" peer_fresh="$scratch/race-magick" race "bmp->png, 2 threads"
if command -v gm >/dev/null; then
  peer=(gm convert "$data/photo.bmp" "$scratch/race-gm/g.png")
  ours_fresh="$scratch/race-ours2" peer_fresh="$scratch/race-gm" race "bmp->png, 2 threads" GraphicsMagick
fi
echo "  PNG sizes (bytes): ours $(stat -c %s "$scratch"/race-ours/photo.[Pp][Nn][Gg]) (two threads: the same file:" \
  "$(cmp -s "$scratch"/race-ours/photo.[Pp][Nn][Gg] "$scratch"/race-ours2/photo.[Pp][Nn][Gg] && echo yes || echo NO))," \
  "ImageMagick $(stat -c %s "$scratch/race-magick/m.png")$(command -v gm >/dev/null \
  && echo ", GraphicsMagick $(stat -c %s "$scratch/race-gm/g.png")")"
fi
[ "$only" = png ] && exit 0

echo "== TIFF whole process, best wall of $runs runs by turns (seconds; cpu = user + system); load average: $(cut -d' ' -f1-3 /proc/loadavg)"
for kind in none lzw packbits; do
  ours=("$ours_tool" --info "$data/photo-$kind.tif")
  peer=(convert "$data/photo-$kind.tif" null:)
  race "load $kind"
done
mkdir -p "$scratch/win" "$scratch/tif" "$scratch/magick"
setting=0
for kind in none lzw packbits; do
  # Our converter takes the compression from the settings file.
  printf '[TIFF]\nSave Compression=%d\n' "$setting" >"$scratch/win/P_RAND32.INI"
  setting=$((setting + 1))
  magick=$kind
  [ "$kind" = packbits ] && magick=RLE # ImageMagick's name for PackBits
  ours=(env PICTORAND_WINDIR="$scratch/win" "$ours_tool" -t tif -o "$scratch/tif" "$data/photo.bmp")
  peer=(convert "$data/photo.bmp" -compress "$magick" "$scratch/magick/m.tif")
  ours_fresh="$scratch/tif" peer_fresh="$scratch/magick" race "bmp->tif $kind"
done
