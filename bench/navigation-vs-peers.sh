#!/usr/bin/env bash
# Stepping through a folder, listing it, and playing a GIF, on one virtual X
# screen in the same run:
#  1. Key press to painted picture when stepping through twenty 6000 x 4000
#     JPEGs with Space: pictorand32 with its read-ahead (the default), the
#     same without it (ReadAheadMB=-1: every step decodes cold), and feh.
#     pictorand32 reports the time from the key's X server time stamp to the
#     end of its paint (PICTORAND_TRACE_STEPS). For a like-for-like figure all
#     three are also timed from outside: xdotool sends the key, and the time
#     until the window title changes (xprop -spy) is taken.
#  2. Listing and sorting 10,000 files in each of the eight orders
#     (bench_directory_benchmark), against `ls -l` on the same folder.
#  3. A 500 x 500, 10 frames a second GIF played for 10 s: the CPU time the
#     viewer used, and how far the frame painted strayed from the frame due.
# Medians of the steps (first two steps left out: start-up). The machine may
# be shared: ratios within this run are what count.
#
#   bench/navigation-vs-peers.sh [BUILD_DIR] [STEPS]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$here/build/navbench}")
steps=${2:-20}
viewer=$(realpath "$build/shell/pictorand32" 2>/dev/null || echo "$build/shell/pictorand32")
lister=$build/bench/bench_directory_benchmark
for tool in feh xdotool xprop xvfb-run convert; do
  command -v $tool >/dev/null || { echo "$tool is missing" >&2; exit 1; }
done
[ -x "$viewer" ] || { echo "no viewer at $viewer" >&2; exit 1; }

work=$build/bench-navigation
mkdir -p "$work/photos"
if [ ! -f "$work/photos/00.jpg" ]; then
  convert -size 600x400 plasma:fractal -blur 0x1 -resize 6000x4000! -attenuate 0.4 +noise Gaussian \
    -quality 90 "$work/photos/00.jpg"
  for i in $(seq -w 1 $((steps + 2))); do cp "$work/photos/00.jpg" "$work/photos/$i.jpg"; done
fi
if [ ! -f "$work/anim.gif" ]; then
  # 20 frames of 500 x 500, 10 hundredths each.
  convert -size 500x500 -delay 10 $(for i in $(seq 0 19); do echo "xc:hsl($((i * 18)),80%,50%)"; done) \
    -fill black -draw 'circle 250,250 250,300' -loop 0 "$work/anim.gif"
fi

cat > "$work/inner.sh" <<'INNER'
#!/usr/bin/env bash
set -euo pipefail
viewer=$1; work=$2; steps=$3
export XDG_RUNTIME_DIR=$work/xdg; mkdir -p -m 0700 "$XDG_RUNTIME_DIR"
export PICTORAND_WINDIR=$work/windir; mkdir -p "$PICTORAND_WINDIR"
median() { sort -n | awk '{a[NR]=$1} END {if (NR) print a[int((NR+1)/2)]; else print "-"}'; }
now_ms() { date +%s%3N; }

# Steps through the photos in the window named by $1 (a pattern for xdotool
# search), timing each step from outside; writes one figure a line to $2.
drive() {
  local pattern=$1 out=$2 window
  for _ in $(seq 100); do window=$(xdotool search --onlyvisible --name "$pattern" 2>/dev/null | head -1) && [ -n "$window" ] && break; sleep 0.1; done
  [ -n "${window:-}" ] || { echo "no window $pattern" >&2; return 1; }
  # No window manager: the keyboard is given to the window by hand.
  xdotool windowfocus "$window" 2>/dev/null || true
  sleep 2
  : > "$out"
  xprop -spy -id "$window" WM_NAME | while read -r _; do now_ms; done > "$work/titles.txt" &
  local spy=$!
  for i in $(seq "$steps"); do
    local before; before=$(wc -l < "$work/titles.txt")
    local sent; sent=$(now_ms)
    xdotool windowfocus "$window" 2>/dev/null || true
    xdotool key space
    for _ in $(seq 400); do [ "$(wc -l < "$work/titles.txt")" -gt "$before" ] && break; sleep 0.005; done
    local changed; changed=$(tail -1 "$work/titles.txt")
    [ "$i" -gt 2 ] && echo $((changed - sent)) >> "$out"
    sleep 1.5 # time to read the next one ahead
  done
  kill $spy 2>/dev/null || true
}

cd "$work/photos"
for mode in cached cold; do
  budget=0; [ $mode = cold ] && budget=-1
  printf "[Others]\nReadAheadMB=%s\nOneInstance=0\n" "$budget" > "$PICTORAND_WINDIR/P_RAND32.INI"
  PICTORAND_TRACE_STEPS=1 "$viewer" 00.jpg 2> "$work/trace-$mode.txt" &
  pid=$!
  drive "00.jpg" "$work/outside-$mode.txt"
  kill $pid; wait $pid 2>/dev/null || true
  grep -o 'painted [0-9.]*' "$work/trace-$mode.txt" | awk 'NR>2 {print $2}' > "$work/inside-$mode.txt"
done
feh -g 1000x700 --title "feh %n" 00.jpg 01.jpg $(ls | grep -v '^0[01].jpg') &
pid=$!
drive "feh " "$work/outside-feh.txt"
kill $pid; wait $pid 2>/dev/null || true

echo "Step to the next 6000 x 4000 JPEG, median ms:"
printf "  %-28s %10s %12s\n" "" "in-process" "title (out)"
printf "  %-28s %10s %12s\n" "pictorand32, read ahead" "$(median < "$work/inside-cached.txt")" "$(median < "$work/outside-cached.txt")"
printf "  %-28s %10s %12s\n" "pictorand32, cold decode" "$(median < "$work/inside-cold.txt")" "$(median < "$work/outside-cold.txt")"
printf "  %-28s %10s %12s\n" "feh" "-" "$(median < "$work/outside-feh.txt")"

# The animation: 10 s, CPU from /proc, the frame shown against the frame due.
printf "[Others]\nOneInstance=0\n" > "$PICTORAND_WINDIR/P_RAND32.INI"
PICTORAND_TRACE_FRAMES=1 "$viewer" "$work/anim.gif" 2> "$work/frames.txt" &
pid=$!
sleep 2
ticks=$(getconf CLK_TCK)
start=$(awk '{print $14 + $15}' /proc/$pid/stat)
sleep 10
end=$(awk '{print $14 + $15}' /proc/$pid/stat)
kill $pid; wait $pid 2>/dev/null || true
echo "GIF 500 x 500, 10 fps, 10 s: CPU $(awk -v a="$start" -v b="$end" -v t="$ticks" 'BEGIN {printf "%.1f", (b - a) / t * 100 / 10}') % of one core"
# Each line: time since the start, frame shown, how late its timer fired.
awk '/^frame/ && $2 >= 2000 && $2 < 12000 {due = int($2 / 100) % 20; off = $4 - due; if (off < -10) off += 20;
       if (off > 10) off -= 20; if (off < 0) off = -off; if (off > worst) worst = off; if ($6 > late) late = $6; n++}
     END {printf "  %d frames painted in 10 s (100 due); largest distance from the frame due by the wall clock: %d frame(s); latest timer: %d ms\n", n, worst, late}' "$work/frames.txt"
INNER
chmod +x "$work/inner.sh"
xvfb-run -a -s "-noreset -screen 0 1920x1080x24" "$work/inner.sh" "$viewer" "$work" "$steps"

if [ -x "$lister" ]; then
  echo "Listing and sorting 10,000 files (+500 others):"
  PICTORAND_BENCH_FOLDER=$work/10000 "$lister" --benchmark_format=console 2>/dev/null | grep ListAndSort
  ls -l "$work/10000" > /dev/null
  TIMEFORMAT='  ls -l on the same folder: %3R s'
  time ls -l "$work/10000" > /dev/null
fi
