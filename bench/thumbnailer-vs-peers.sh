#!/usr/bin/env bash
# Times pictorand32-thumbnailer against the desktop's two usual thumbnailers,
# gdk-pixbuf-thumbnailer and vipsthumbnail, at 256 pixels, whole processes
# as a file manager starts them, on a 6000 x 4000 JPEG and a 768 x 512 PNG,
# in one hyperfine run per file. Prints wall and CPU time, the ratios
# (targets: on the JPEG at most 1.0x gdk-pixbuf's time and 0.5x vips's; on
# the PNG at most 1.0x either) and each program's peak memory, the confined
# decoder worker's included.
set -euo pipefail
cd "$(dirname "$0")/.."
for tool in gdk-pixbuf-thumbnailer vipsthumbnail /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed (libgdk-pixbuf2.0-bin, libvips-tools, time)" >&2; exit 2; }
done
command -v hyperfine >/dev/null || { echo "hyperfine is not installed" >&2; exit 2; }
# BUILD names another build tree to time (its programs must be built).
build=${BUILD:-build/bench}
if [ -z "${BUILD:-}" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPICTORAND_TESTS=OFF -DPICTORAND_GUI=OFF >/dev/null
  cmake --build "$build" --target pictorand32-thumbnailer pictorand32-decoder >/dev/null
fi
thumbnailer=$(realpath "$build")/tools/thumbnailer/pictorand32-thumbnailer
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

convert -seed 1 -size 1500x1000 plasma:fractal -resize 6000x4000 -attenuate 0.3 +noise Gaussian -quality 90 \
  "$work/photo.jpg"
convert -seed 2 -size 768x512 plasma:fractal -blur 0x1 -attenuate 0.2 +noise Gaussian -depth 8 "PNG24:$work/kodim.png"

for input in photo.jpg kodim.png; do
  echo "== $input ($(identify -format '%w x %h' "$work/$input"), $(du -k "$work/$input" | cut -f1) KiB)"
  hyperfine -N --warmup 2 --runs "${RUNS:-10}" --export-csv "$work/times.csv" \
    -n "pictorand32-thumbnailer" "$thumbnailer -s 256 $work/$input $work/ours.png" \
    -n "gdk-pixbuf-thumbnailer" "gdk-pixbuf-thumbnailer -s 256 $work/$input $work/gdk.png" \
    -n "vipsthumbnail" "vipsthumbnail $work/$input --size 256 -o $work/vips.png" >/dev/null
  # hyperfine's CSV: command, mean, stddev, median, user, system, min, max
  awk -F, 'NR > 1 { wall[NR] = $2; printf "%-24s wall %7.1f ms, CPU %7.1f ms\n", $1, $2 * 1000, ($5 + $6) * 1000 }
    END { printf "ours / gdk-pixbuf: %.2fx the time; ours / vips: %.2fx the time\n", wall[2] / wall[3], wall[2] / wall[4] }' \
    "$work/times.csv"
  for run in "$thumbnailer -s 256 $work/$input $work/ours.png" "gdk-pixbuf-thumbnailer -s 256 $work/$input $work/gdk.png" \
      "vipsthumbnail $work/$input --size 256 -o $work/vips.png"; do
    printf '%-24s peak %6d KiB\n' "${run%% *}" "$(/usr/bin/time -f %M $run 2>&1 >/dev/null | tail -1)" | sed "s|$thumbnailer|pictorand32-thumbnailer|"
  done
  identify -format '%f %w x %h\n' "$work/ours.png" "$work/gdk.png" "$work/vips.png"
done
