#!/bin/sh
# Times quantising a 6000 x 4000 photo-like picture to 256 colours with
# Floyd-Steinberg dithering: our quantiser (whole process: read BMP, quantise,
# write BMP) against ImageMagick and GraphicsMagick, one thread each, on the
# same file in the same run, and gives each result's PSNR against the source.
#   bench/quantise-vs-peers.sh [BUILD_DIR]   (default build/bench, configured
#   with -DPICTORAND_BENCH=ON; the quantise_tool target is built if missing)
set -eu

build=${1:-build/bench}
# The benchmark folder names its binaries either after the source or with a
# bench_ prefix; take whichever this build has.
tool=""
for name in quantise_tool bench_quantise_tool; do
    if [ -z "$tool" ] && cmake --build "$build" --target "$name" >/dev/null 2>&1; then
        tool=$build/bench/$name
    fi
done
[ -n "$tool" ] || { echo "quantise_tool does not build in $build" >&2; exit 1; }

export MAGICK_THREAD_LIMIT=1 OMP_NUM_THREADS=1 VIPS_CONCURRENCY=1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A real photograph scaled up, with some noise so that it is not flat.
convert rose: -resize '6000x4000!' -attenuate 0.25 +noise Gaussian -depth 8 -type TrueColor BMP3:"$work/photo.bmp"

# Runs a command three times; prints the best wall time, the processor time
# (user + system) of that run and its peak memory. The processor time is the
# fairer figure on a busy machine.
best_of_three() {
    best=""
    for run in 1 2 3; do
        /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@" >/dev/null 2>&1
        read -r seconds user system kilobytes <"$work/time"
        if [ -z "$best" ] || [ "$(echo "$seconds < $best" | bc)" = 1 ]; then
            best=$seconds
            processor=$(echo "$user + $system" | bc)
            memory=$kilobytes
        fi
    done
    echo "$best $processor $memory"
}

psnr() {
    # compare writes the metric on standard error and exits 1 when the pictures differ.
    compare -metric PSNR "$work/photo.bmp" "$1" null: 2>&1 || true
}

row() {
    printf '%-20s %10s %10s %10d %10s\n' "$1" "$2" "$3" $(($4 / 1024)) "$5"
}

printf '%-20s %10s %10s %10s %10s\n' "quantise 256" "wall s" "cpu s" "peak MiB" "PSNR dB"
set -- $(best_of_three "$tool" "$work/photo.bmp" "$work/ours.bmp" 256)
ours_wall=$1
ours_cpu=$2
row pictorand32 "$1" "$2" "$3" "$(psnr "$work/ours.bmp")"

# The same through the command-line converter, when this build has it.
if cmake --build "$build" --target pictorand32-convert >/dev/null 2>&1; then
    converter=$build/tools/convert/pictorand32-convert
    export PICTORAND_WINDIR="$work/settings"
    mkdir -p "$work/settings"
    # It never replaces a file, so each run starts from an empty folder.
    set -- $(best_of_three sh -c 'rm -rf "$1/converted" && exec "$2" -t bmp -o "$1/converted" --colors 256 "$1/photo.bmp"' \
        sh "$work" "$converter")
    row pictorand32-convert "$1" "$2" "$3" "$(psnr "$(ls "$work"/converted/*)")"
fi

set -- $(best_of_three convert "$work/photo.bmp" -dither FloydSteinberg -colors 256 BMP3:"$work/magick.bmp")
row ImageMagick "$1" "$2" "$3" "$(psnr "$work/magick.bmp")"
fastest_wall=$1
fastest_cpu=$2
if command -v gm >/dev/null 2>&1; then
    set -- $(best_of_three gm convert "$work/photo.bmp" -dither -colors 256 BMP3:"$work/graphicsmagick.bmp")
    row GraphicsMagick "$1" "$2" "$3" "$(psnr "$work/graphicsmagick.bmp")"
    if [ "$(echo "$1 < $fastest_wall" | bc)" = 1 ]; then
        fastest_wall=$1
        fastest_cpu=$2
    fi
else
    echo "GraphicsMagick: gm not installed, not timed"
fi
echo "speed-up against the fastest peer: $(echo "scale=2; $fastest_wall / $ours_wall" | bc)x wall," \
    "$(echo "scale=2; $fastest_cpu / $ours_cpu" | bc)x processor time (target: at least 4x)"
