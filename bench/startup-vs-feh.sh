#!/usr/bin/env bash
# Launch-to-first-paint of the viewer against feh, on a 1920 x 1080 and a
# 6000 x 4000 JPEG, on one virtual X screen in the same run.
#
#   bench/startup-vs-feh.sh [BUILD_DIR] [RUNS]
#
# pictorand32 runs with PICTORAND_QUIT_AFTER_PAINT=1 (it ends right after its
# first paint of the picture). feh is run as a one-picture slideshow that ends
# after its first picture (--on-last-slide quit with a 1 ms delay), so both
# times cover start, decode, window and first paint. The median of RUNS runs
# (default 7) is reported in milliseconds.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build/release}
runs=${2:-7}
viewer=$build/shell/pictorand32
[ -x "$viewer" ] || { echo "no viewer at $viewer (build it first)" >&2; exit 1; }
command -v feh >/dev/null || { echo "feh is missing (apt-get install feh)" >&2; exit 1; }
command -v xvfb-run >/dev/null || { echo "xvfb-run is missing" >&2; exit 1; }

work=$build/bench-startup
mkdir -p "$work"
# Photo-like content (smooth areas and noise), so decoding costs what it
# would on a real picture.
if [ ! -f "$work/1920x1080.jpg" ]; then
  convert -size 480x270 plasma:fractal -blur 0x1 -resize 1920x1080! -attenuate 0.4 +noise Gaussian \
    -quality 90 "$work/1920x1080.jpg"
fi
if [ ! -f "$work/6000x4000.jpg" ]; then
  convert -size 600x400 plasma:fractal -blur 0x1 -resize 6000x4000! -attenuate 0.4 +noise Gaussian \
    -quality 90 "$work/6000x4000.jpg"
fi

cat > "$work/measure.sh" <<'INNER'
#!/usr/bin/env bash
set -euo pipefail
viewer=$1; work=$2; runs=$3
export XDG_RUNTIME_DIR=$work/xdg; mkdir -p -m 0700 "$XDG_RUNTIME_DIR"
export PICTORAND_WINDIR=$work/windir PICTORAND_RUNTIME_DIR=$work/runtime
now() { date +%s%N; }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
time_ms() { local start end; start=$(now); "$@" >/dev/null 2>&1; end=$(now); echo $(( (end - start) / 1000000 )); }
printf "%-14s %14s %14s\n" "picture" "pictorand32" "feh"
for picture in 1920x1080 6000x4000; do
  file=$work/$picture.jpg
  # One untimed run of each, so both start from a warm file cache.
  PICTORAND_QUIT_AFTER_PAINT=1 "$viewer" "$file" >/dev/null 2>&1 || true
  feh --on-last-slide quit -D 0.001 "$file" >/dev/null 2>&1 || true
  ours=$(for i in $(seq "$runs"); do time_ms env PICTORAND_QUIT_AFTER_PAINT=1 "$viewer" "$file"; done | median)
  theirs=$(for i in $(seq "$runs"); do time_ms feh --on-last-slide quit -D 0.001 "$file"; done | median)
  printf "%-14s %11s ms %11s ms\n" "$picture" "$ours" "$theirs"
done
INNER
chmod +x "$work/measure.sh"
xvfb-run -a -s "-screen 0 1920x1200x24" "$work/measure.sh" "$viewer" "$work" "$runs"
