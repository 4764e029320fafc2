#!/usr/bin/env bash
# The cost of converting an embedded ICC profile to sRGB, as a share of the
# JPEG decode of the same 6000 x 4000 photo (the target: at most 15 %):
#   bench/icc-vs-decode.sh [REPETITIONS]   (default 5; medians are compared)
# The photo is the one bench/libs-vs-peers.sh makes, converted to Adobe RGB
# (1998) with its profile embedded by Little CMS's jpgicc. Both figures come
# from one run of bench_colour_profile_bench; wall and process CPU time are
# printed, as the conversion uses a second thread for big pictures. jpgicc's
# own whole-process time for the same conversion (decode, convert, encode)
# is printed beside them for scale.
set -euo pipefail
cd "$(dirname "$0")/.."
repetitions=${1:-5}
build=build/bench
data=$PWD/build/bench-data
profile=/usr/share/color/icc/ghostscript/a98.icc
mkdir -p "$data"
command -v jpgicc >/dev/null || { echo "jpgicc missing (apt-get install liblcms2-utils)" >&2; exit 1; }
[ -r "$profile" ] || { echo "$profile missing (apt-get install libgs-common)" >&2; exit 1; }

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPICTORAND_GUI=OFF -DPICTORAND_TESTS=OFF \
  -DPICTORAND_BENCH=ON >/dev/null
cmake --build "$build" --target bench_colour_profile_bench >/dev/null

if [ ! -s "$data/photo.ppm" ]; then
  convert -seed 3 -size 1500x1000 plasma:fractal -blur 0x1 -resize 6000x4000! -attenuate 0.4 +noise Gaussian \
    -depth 8 "$data/photo.ppm"
fi
[ -s "$data/photo.jpg" ] || cjpeg -quality 85 "$data/photo.ppm" >"$data/photo.jpg"
[ -s "$data/photo-a98.jpg" ] || jpgicc -o"$profile" -e -q 85 "$data/photo.jpg" "$data/photo-a98.jpg"

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
PICTORAND_BENCH_DATA=$data "$build/bench/bench_colour_profile_bench" --benchmark_repetitions="$repetitions" \
  --benchmark_report_aggregates_only=true --benchmark_format=console | tee "$data/icc-bench.txt"
awk '/_median/ { name = $1; sub(/\/.*/, "", name); wall[name] = $2; cpu[name] = $4 }
     END { if (wall["decodeJpeg"] > 0)
             printf "conversion / decode: %.1f %% of wall time, %.1f %% of CPU time\n",
                    100 * wall["convertProfile"] / wall["decodeJpeg"], 100 * cpu["convertProfile"] / cpu["decodeJpeg"] }' \
  "$data/icc-bench.txt"

start=$(date +%s.%N)
jpgicc -q 85 "$data/photo-a98.jpg" "$data/photo-back.jpg"
end=$(date +%s.%N)
echo "jpgicc (decode, convert, encode; one thread): $(echo "$end - $start" | bc) s wall"
