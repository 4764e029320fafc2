#!/usr/bin/env bash
# Times the converter turning a 6000 x 4000 JPEG a quarter turn: block by
# block (the default) against jpegtran -rotate 90 on the same file, and
# against the converter decoding, turning and compressing it again
# (--reencode), whole processes, in one hyperfine run. Target: at most 1.1x
# jpegtran's time. The decode happens in the confined worker either way, so
# the converter is also timed with --no-sandbox.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v hyperfine >/dev/null || { echo "hyperfine is not installed" >&2; exit 2; }
command -v jpegtran >/dev/null || { echo "jpegtran is not installed (libjpeg-turbo-progs)" >&2; exit 2; }
# BUILD names another build tree to time (its programs must be built).
build=${BUILD:-build/bench}
if [ -z "${BUILD:-}" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPICTORAND_TESTS=OFF -DPICTORAND_GUI=OFF >/dev/null
  cmake --build "$build" --target pictorand32-convert pictorand32-decoder >/dev/null
fi
converter=$(realpath "$build")/tools/convert/pictorand32-convert
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export PICTORAND_WINDIR=$work/windir
mkdir -p "$PICTORAND_WINDIR"
convert -seed 1 -size 1500x1000 plasma:fractal -resize 6000x4000 -attenuate 0.3 +noise Gaussian -quality 90 \
  "$work/photo.jpg"
echo "== photo.jpg ($(identify -format '%w x %h' "$work/photo.jpg"), $(du -k "$work/photo.jpg" | cut -f1) KiB)"
# Each run writes into an emptied folder: the converter never replaces a file.
hyperfine -N --warmup 2 --runs "${RUNS:-10}" --export-csv "$work/times.csv" \
  --prepare "rm -rf $work/out" \
  -n "jpegtran -rotate 90" "sh -c 'mkdir $work/out && jpegtran -rotate 90 -outfile $work/out/t.jpg $work/photo.jpg'" \
  -n "pictorand32-convert --rotate-right" "sh -c 'mkdir $work/out && $converter -q -t jpg -o $work/out --rotate-right $work/photo.jpg'" \
  -n "... --no-sandbox" "sh -c 'mkdir $work/out && $converter -q --no-sandbox -t jpg -o $work/out --rotate-right $work/photo.jpg'" \
  -n "... --reencode" "sh -c 'mkdir $work/out && $converter -q --reencode -t jpg -o $work/out --rotate-right $work/photo.jpg'" \
  >/dev/null
# hyperfine's CSV: command, mean, stddev, median, user, system, min, max
awk -F, 'NR > 1 { wall[NR] = $4; printf "%-36s wall %7.1f ms, CPU %7.1f ms\n", $1, $4 * 1000, ($5 + $6) * 1000 }
  END { printf "turned / jpegtran: %.2fx (in process %.2fx); recompressed / turned: %.1fx\n",
        wall[3] / wall[2], wall[4] / wall[2], wall[5] / wall[3] }' "$work/times.csv"
