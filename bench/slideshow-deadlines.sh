#!/usr/bin/env bash
# How close to its deadline each slideshow change lands: four 6000 x 4000
# JPEGs shown in a loop with a 1 s delay under Xvfb for SECONDS (default 15).
# The viewer prints each change against its deadline
# (PICTORAND_TRACE_SLIDESHOW); this prints the median and the worst (target:
# every change within 50 ms). Needs a build with the viewer (BUILD, default
# build/dev). RESAMPLE=1 turns UseResample on: each picture is then also
# resampled to the screen on a worker after its change.
#   bench/slideshow-deadlines.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build/dev}
viewer=$PWD/$build/shell/pictorand32
[ -x "$viewer" ] || { echo "build the viewer first ($viewer)" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for i in 1 2 3 4; do
  convert -seed "$i" -size 1500x1000 plasma:fractal -resize 6000x4000! -quality 90 "$work/photo$i.jpg"
  echo "$work/photo$i.jpg" >> "$work/list.txt"
done
mkdir -p "$work/windir"
printf '[Slideshow]\r\nAdvancement=1\r\nAutoDelay=1\r\nLoop=1\r\nSuppressErrors=1\r\nShowFilename=1\r\n' \
  > "$work/windir/P_RAND32.INI"
[ "${RESAMPLE:-0}" = 1 ] && printf '[Others]\r\nUseResample=1\r\n' >> "$work/windir/P_RAND32.INI"
PICTORAND_WINDIR=$work/windir PICTORAND_TRACE_SLIDESHOW=1 XDG_RUNTIME_DIR=$work \
  timeout "${1:-15}" xvfb-run -a -s "-screen 0 1280x1024x24" "$viewer" "--slideshow=$work/list.txt" \
  2> "$work/trace.txt" || true
grep -o 'change [-+][0-9]* ms' "$work/trace.txt" | awk '{ print $2 + 0 }' | sort -n > "$work/late.txt"
count=$(wc -l < "$work/late.txt")
[ "$count" -gt 0 ] || { echo "no changes traced" >&2; cat "$work/trace.txt" >&2; exit 1; }
median=$(awk -v n="$count" 'NR == int((n + 1) / 2) { print }' "$work/late.txt")
worst=$(tail -1 "$work/late.txt")
copies=$({ grep -o 'copy ready [0-9]* ms' "$work/trace.txt" || true; } | awk '{ print $3 }' | sort -n | tr '\n' ' ')
[ -z "$copies" ] || echo "resampled copies ready after the change (ms): $copies"
echo "$count changes of 6000 x 4000 JPEGs, 1 s apart (UseResample=${RESAMPLE:-0}): median $median ms, worst $worst ms after the deadline"
