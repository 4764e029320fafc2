#!/usr/bin/env bash
# Times the metafile player on a typical drawing (1200 shapes and 100 lines
# of text, a few thousand records; bench/make-typical-metafile-svg.py, turned
# into EMF and WMF by Inkscape): in-process, walking the records and painting
# them at the natural size (target: under 20 ms together); and whole
# processes, pictorand32-convert against libwmf's wmf2gd on the WMF, in one
# hyperfine run.   bench/metafile-vs-libwmf.sh   (RUNS=n for the run count)
set -euo pipefail
cd "$(dirname "$0")/.."
for tool in hyperfine inkscape wmf2gd; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 2; }
done
build=build/bench-gui
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPICTORAND_BENCH=ON -DPICTORAND_TESTS=OFF >/dev/null
cmake --build "$build" --target pictorand32-convert bench_metafile_benchmark >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home   # a fresh Inkscape profile, text kept as text
mkdir -p "$HOME" "$work/ours" "$work/libwmf"
python3 bench/make-typical-metafile-svg.py > "$work/typical.svg"
inkscape "$work/typical.svg" --export-type=emf --export-filename="$work/typical.emf" >/dev/null 2>&1 # makes the profile
sed -i 's|     id="extensions"|     id="extensions"\n     org.inkscape.output.emf.textToPath="false"\n     org.inkscape.output.wmf.textToPath="false"|' \
  "$HOME/.config/inkscape/preferences.xml"
inkscape "$work/typical.svg" --export-type=emf --export-filename="$work/typical.emf" >/dev/null 2>&1
inkscape "$work/typical.svg" --export-type=wmf --export-filename="$work/typical.wmf" >/dev/null 2>&1

PICTORAND_BENCH_METAFILES=$work "$build/bench/bench_metafile_benchmark" --benchmark_min_time=0.5
hyperfine --warmup 1 --runs "${RUNS:-10}" --style basic \
  --prepare "rm -f $work/ours/* $work/libwmf/*" \
  -n "pictorand32-convert typical.wmf" "$build/tools/convert/pictorand32-convert -t png -o $work/ours $work/typical.wmf" \
  -n "wmf2gd typical.wmf" "wmf2gd -t png -o $work/libwmf/typical.png $work/typical.wmf"
