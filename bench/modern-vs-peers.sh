#!/usr/bin/env bash
# Times the WebP, HEIC, AVIF and JPEG XL readers against each library's own
# command-line decoder on one 6000 x 4000 photo-like picture per format, whole
# process, by turns (so both meet the same load on a shared machine):
#   bench/modern-vs-peers.sh [RUNS]    (best wall time of RUNS, default 3)
# Ours: `pictorand32-convert --info`, which reads the file, decodes it into a
# 24-bit block and normalises it, and writes nothing. Peers: the library's
# tool writing the decoded picture to /dev/shm: dwebp and djxl a PPM, which
# is what ours does short of the write. heif-convert and avifdec write no
# raw RGB: against their Y4M (raw YUV, so they skip the colour conversion
# ours does) and their PNG (which charges them a zlib encode) the fair figure
# lies between the two rows. avifdec gets as many threads as ours takes (one
# per processor); djxl and libheif use their own defaults, as ours does.
# Target: ours within 1.1x of the peer's wall time.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-3}
build=build/bench
data=$PWD/build/bench-data
mkdir -p "$data"
for tool in convert cwebp dwebp heif-enc heif-convert avifenc avifdec cjxl djxl; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed (scripts/install-deps.sh --tests)" >&2; exit 2; }
done
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPICTORAND_GUI=OFF -DPICTORAND_TESTS=OFF \
  -DPICTORAND_BENCH=ON >/dev/null
cmake --build "$build" --target pictorand32-convert >/dev/null
ours_tool="$build/tools/convert/pictorand32-convert"
threads=$(nproc)

# The picture, as bench/libs-vs-peers.sh makes it: fractal clouds with grain.
if [ ! -s "$data/photo.ppm" ]; then
  convert -seed 3 -size 1500x1000 plasma:fractal -blur 0x1 -resize 6000x4000! -attenuate 0.4 +noise Gaussian \
    -depth 8 "$data/photo.ppm"
fi
[ -s "$data/photo.png" ] || convert "$data/photo.ppm" "$data/photo.png"
# Each encoder at its defaults, 4:2:0 where the format subsamples, as cameras
# and browsers write them.
[ -s "$data/photo.webp" ] || cwebp -quiet -q 80 "$data/photo.png" -o "$data/photo.webp"
[ -s "$data/photo-lossless.webp" ] || cwebp -quiet -lossless -z 1 "$data/photo.png" -o "$data/photo-lossless.webp"
[ -s "$data/photo.heic" ] || heif-enc -q 50 "$data/photo.png" -o "$data/photo.heic" >/dev/null
[ -s "$data/photo-420.avif" ] || avifenc -s 8 -j "$threads" -y 420 "$data/photo.png" "$data/photo-420.avif" >/dev/null
[ -s "$data/photo.jxl" ] || cjxl "$data/photo.png" "$data/photo.jxl" 2>/dev/null

scratch=$(mktemp -d -p /dev/shm)
trap 'rm -rf "$scratch"' EXIT

# time_once COMMAND... : "wall processor" seconds of one run (processor: user
# plus system, all threads).
time_once() {
  local TIMEFORMAT='%3R %3U %3S' times
  times=$( { time "$@" >/dev/null 2>&1; } 2>&1 )
  echo "$times" | awk '{printf "%.3f %.3f\n", $1, $2 + $3}'
}

# race LABEL PEER : runs the arrays ours and peer by turns, $runs times each,
# and prints the best wall time of each with the processor time of that run
# and the ratio ours / peer.
race() {
  local best_ours="" cpu_ours="" best_peer="" cpu_peer="" wall cpu
  for _ in $(seq "$runs"); do
    read -r wall cpu < <(time_once "${ours[@]}")
    if [ -z "$best_ours" ] || awk "BEGIN {exit !($wall < $best_ours)}"; then best_ours=$wall cpu_ours=$cpu; fi
    read -r wall cpu < <(time_once "${peer[@]}")
    if [ -z "$best_peer" ] || awk "BEGIN {exit !($wall < $best_peer)}"; then best_peer=$wall cpu_peer=$cpu; fi
  done
  printf '  %-16s ours %6.3f (cpu %6.3f)   %-13s %6.3f (cpu %6.3f)   ours/peer wall %4.2f, cpu %4.2f\n' "$1" \
    "$best_ours" "$cpu_ours" "$2" "$best_peer" "$cpu_peer" "$(awk "BEGIN {print $best_ours / $best_peer}")" \
    "$(awk "BEGIN {print $cpu_ours / $cpu_peer}")"
}

echo "== 6000 x 4000, whole process, best wall of $runs runs by turns (seconds; cpu = user + system);" \
  "$threads processors; load average: $(cut -d' ' -f1-3 /proc/loadavg)"
ours=("$ours_tool" --info "$data/photo.webp");          peer=(dwebp "$data/photo.webp" -ppm -o "$scratch/w.ppm")
race "WebP lossy" dwebp
ours=("$ours_tool" --info "$data/photo-lossless.webp"); peer=(dwebp "$data/photo-lossless.webp" -ppm -o "$scratch/l.ppm")
race "WebP lossless" dwebp
ours=("$ours_tool" --info "$data/photo.heic");          peer=(heif-convert "$data/photo.heic" "$scratch/h.y4m")
race "HEIC" "heif-conv y4m"
peer=(heif-convert "$data/photo.heic" "$scratch/h.png")
race "HEIC" "heif-conv png"
ours=("$ours_tool" --info "$data/photo-420.avif");      peer=(avifdec -j "$threads" "$data/photo-420.avif" "$scratch/a.y4m")
race "AVIF 4:2:0" "avifdec y4m"
peer=(avifdec -j "$threads" "$data/photo-420.avif" "$scratch/a.png")
race "AVIF 4:2:0" "avifdec png"
ours=("$ours_tool" --info "$data/photo.jxl");           peer=(djxl "$data/photo.jxl" "$scratch/j.ppm")
race "JPEG XL" djxl
