# Sourced by the scripts that time the converter against ImageMagick: checks
# that the peer tools are installed, builds the converter in the release
# benchmark tree (build/bench) and sets $build and $ours, then makes a
# scratch folder $work (removed on exit) with "ours" and "magick" in it.
# Run from the top of the source tree.
for tool in hyperfine convert; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 2; }
done
build=build/bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPICTORAND_BENCH=ON -DPICTORAND_TESTS=OFF \
  -DPICTORAND_GUI=OFF >/dev/null
cmake --build "$build" --target pictorand32-convert >/dev/null
ours=$PWD/$build/tools/convert/pictorand32-convert

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/ours" "$work/magick"
