#!/usr/bin/env bash
# The batch window while a run keeps every processor busy: 24 photographs
# (3000 x 2000 PNG) to JPEG, with a 5 ms timer on the window's thread
# measuring how late its events come (target: never more than 50 ms), then
# a second run stopped after 0.3 s, timing how long Stop takes to end it
# (target: within a second). Needs a release build with the viewer and the
# benchmarks (BUILD, default build/bench-gui, made here when missing).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build/bench-gui}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPICTORAND_BENCH=ON -DPICTORAND_TESTS=OFF >/dev/null
cmake --build "$build" --target bench_batch_window_latency >/dev/null
tool=$PWD/$build/bench/bench_batch_window_latency
work=$(mktemp -d)
chmod 700 "$work"
trap 'rm -rf "$work"' EXIT
for i in $(seq -w 1 24); do
  convert -seed "$i" -size 750x500 plasma:fractal -resize 3000x2000! -depth 8 "PNG24:$work/photo$i.png"
done
mkdir -p "$work/windir"
export PICTORAND_WINDIR=$work/windir XDG_RUNTIME_DIR=$work QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
echo "processors: $(nproc)"
"$tool" "$work/out1" "$work"/photo*.png
"$tool" "$work/out2" --stop-after 300 "$work"/photo*.png
