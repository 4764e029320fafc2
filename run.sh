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
