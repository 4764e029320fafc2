#!/usr/bin/env bash
# Builds Pictorand32 and shows it at work on the bundled sample pictures.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DPICTORAND_TESTS=OFF >/dev/null
cmake --build build/release
out=build/samples-converted
# The converter never replaces a file: start each run with an empty folder.
rm -rf "$out"
mkdir -p "$out"
echo "== What the samples are"
build/release/tools/convert/pictorand32-convert --info samples/*
echo "== Converting them to BMP in $out"
build/release/tools/convert/pictorand32-convert -t bmp -o "$out" samples/*
echo "== Showing samples/rose-24bit.bmp in the viewer"
viewer=build/release/shell/pictorand32
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  "$viewer" samples/rose-24bit.bmp
elif command -v xvfb-run >/dev/null; then
  # No display here: show it on a virtual one and end after the first paint.
  PICTORAND_QUIT_AFTER_PAINT=1 xvfb-run -a -s "-screen 0 1280x1024x24" "$viewer" samples/rose-24bit.bmp
  echo "(no display: the viewer ran on a virtual screen and ended after showing the picture)"
else
  echo "(no display: run $viewer samples/rose-24bit.bmp on a desktop)"
fi
