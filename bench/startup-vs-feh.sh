#!/usr/bin/env bash
# Launch-to-first-paint of the viewer against feh, on a 1920 x 1080 and a
# 6000 x 4000 JPEG (and a 16 x 16 one for the fixed costs), on one virtual X
# screen in the same run.
#
#   bench/startup-vs-feh.sh [BUILD_DIR] [RUNS]
#
# pictorand32 runs with PICTORAND_QUIT_AFTER_PAINT=1 (it ends right after its
# first paint of the picture). feh is run as a one-picture slideshow that ends
# after its first picture (--on-last-slide quit with a 1 ms delay), so both
# times cover start, decode, window and first paint. The median of RUNS runs
# (default 7) is reported in milliseconds, as wall-clock time and as CPU time
# (user + system) of the process, both as the shell's `time` measures them.
#
# When the build has bench/qt_minimal_viewer (-DPICTORAND_BENCH=ON, target
# qt_minimal_viewer), a third column times that smallest Qt Widgets picture
# window on the same files: the part of the start-up that is Qt's own.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build/release}
runs=${2:-7}
viewer=$build/shell/pictorand32
minimal=$build/bench/qt_minimal_viewer
[ -x "$minimal" ] || minimal=
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
# A 16 x 16 picture: next to nothing to decode or paint, so its row shows
# what each program costs to start and stop at all.
if [ ! -f "$work/16x16.jpg" ]; then
  convert -size 16x16 plasma:fractal -quality 90 "$work/16x16.jpg"
fi
if [ ! -f "$work/6000x4000.jpg" ]; then
  convert -size 600x400 plasma:fractal -blur 0x1 -resize 6000x4000! -attenuate 0.4 +noise Gaussian \
    -quality 90 "$work/6000x4000.jpg"
fi

cat > "$work/measure.sh" <<'INNER'
#!/usr/bin/env bash
set -euo pipefail
viewer=$1; work=$2; runs=$3; minimal=${4:-}
export XDG_RUNTIME_DIR=$work/xdg; mkdir -p -m 0700 "$XDG_RUNTIME_DIR"
export PICTORAND_WINDIR=$work/windir PICTORAND_RUNTIME_DIR=$work/runtime
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
# One run: "wall_ms cpu_ms" (CPU = user + system time of the process; on a
# busy machine it says more than the wall clock does).
run_once() {
  local TIMEFORMAT='%3R %3U %3S'
  { time "$@" >/dev/null 2>&1 || true; } 2> "$work/time.txt"
  awk '{printf "%d %d\n", $1 * 1000, ($2 + $3) * 1000}' "$work/time.txt"
}
medians() { echo "$(cut -d' ' -f1 "$1" | median) $(cut -d' ' -f2 "$1" | median)"; }
if [ -n "$minimal" ]; then
  printf "%-10s %24s %24s %24s\n" "" "pictorand32" "feh" "minimal Qt"
  printf "%-10s %12s %11s %12s %11s %12s %11s\n" "picture" "wall" "cpu" "wall" "cpu" "wall" "cpu"
else
  printf "%-10s %24s %24s\n" "" "pictorand32" "feh"
  printf "%-10s %12s %11s %12s %11s\n" "picture" "wall" "cpu" "wall" "cpu"
fi
for picture in 16x16 1920x1080 6000x4000; do
  file=$work/$picture.jpg
  # One untimed run of each, so all start from a warm file cache.
  PICTORAND_QUIT_AFTER_PAINT=1 "$viewer" "$file" >/dev/null 2>&1 || true
  feh --on-last-slide quit -D 0.001 "$file" >/dev/null 2>&1 || true
  [ -z "$minimal" ] || "$minimal" "$file" >/dev/null 2>&1 || true
  # The programs take turns, so a burst of load from elsewhere hits all.
  : > "$work/ours.txt"; : > "$work/feh.txt"; : > "$work/qt.txt"
  for i in $(seq "$runs"); do
    run_once env PICTORAND_QUIT_AFTER_PAINT=1 "$viewer" "$file" >> "$work/ours.txt"
    run_once feh --on-last-slide quit -D 0.001 "$file" >> "$work/feh.txt"
    [ -z "$minimal" ] || run_once "$minimal" "$file" >> "$work/qt.txt"
  done
  read -r ours_wall ours_cpu < <(medians "$work/ours.txt")
  read -r feh_wall feh_cpu < <(medians "$work/feh.txt")
  if [ -n "$minimal" ]; then
    read -r qt_wall qt_cpu < <(medians "$work/qt.txt")
    printf "%-10s %9s ms %8s ms %9s ms %8s ms %9s ms %8s ms\n" "$picture" "$ours_wall" "$ours_cpu" \
      "$feh_wall" "$feh_cpu" "$qt_wall" "$qt_cpu"
  else
    printf "%-10s %9s ms %8s ms %9s ms %8s ms\n" "$picture" "$ours_wall" "$ours_cpu" "$feh_wall" "$feh_cpu"
  fi
done
INNER
chmod +x "$work/measure.sh"
xvfb-run -a -s "-noreset -screen 0 1920x1200x24" "$work/measure.sh" "$viewer" "$work" "$runs" "$minimal"
