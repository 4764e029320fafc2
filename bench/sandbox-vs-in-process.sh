#!/usr/bin/env bash
# What decoding in confined workers costs against decoding in process
# (Sandbox=0), side by side in one run:
#  1. One load of a 6000 x 4000 and of a 1920 x 1080 JPEG: the median wall
#     time of a load, and the median processor time of a load, the viewer's
#     and its worker's together (bench_confined_loads: loads in process and
#     in a worker taking turns in one process, 2 x RUNS of each).
#  2. Launch to first paint of the 1920 x 1080 JPEG in the viewer, alone in
#     its folder (nothing read ahead), on a virtual X screen
#     (PICTORAND_QUIT_AFTER_PAINT), median of RUNS, the two settings taking turns.
#  3. Key press to painted picture when stepping through 6000 x 4000 JPEGs
#     that were read ahead (PICTORAND_TRACE_STEPS), median of the steps.
#  4. A -j 2 batch of 24 pictures of 3000 x 2000 (PNG to JPEG), wall and CPU,
#     median of RUNS, against --no-sandbox, the two taking turns (one block
#     of runs after the other swung the ratio from 0.97 to 1.09), each
#     measured run after one of its own mode (below).
# Run it on a quiet machine: the ratios within one run are what count.
#
#   bench/sandbox-vs-in-process.sh [BUILD_DIR] [RUNS]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$here/build/bench}")
runs=${2:-9}
loads=$build/bench/bench_confined_loads
viewer=$build/shell/pictorand32
converter=$build/tools/convert/pictorand32-convert
for tool in convert xvfb-run xdotool; do
  command -v $tool >/dev/null || { echo "$tool is missing" >&2; exit 1; }
done
[ -x "$loads" ] || { echo "no $loads: configure with -DPICTORAND_BENCH=ON and build" >&2; exit 1; }

work=$build/bench-sandbox
mkdir -p "$work/photos" "$work/batch" "$work/windir"
if [ ! -f "$work/6000x4000.jpg" ]; then
  convert -size 600x400 plasma:fractal -blur 0x1 -resize 6000x4000! -attenuate 0.4 +noise Gaussian \
    -quality 90 "$work/6000x4000.jpg"
  convert -size 480x270 plasma:fractal -blur 0x1 -resize 1920x1080! -attenuate 0.4 +noise Gaussian \
    -quality 90 "$work/1920x1080.jpg"
  for i in $(seq -w 0 11); do cp "$work/6000x4000.jpg" "$work/photos/$i.jpg"; done
  convert -size 300x200 plasma:fractal -blur 0x1 -resize 3000x2000! -attenuate 0.2 +noise Gaussian "$work/batch/00.png"
  for i in $(seq -w 1 23); do cp "$work/batch/00.png" "$work/batch/$i.png"; done
  sync
fi
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }

echo "1. One load (median wall ms; processor ms a load, workers included):"
for picture in 6000x4000 1920x1080; do
  read -r wall_here cpu_here wall_worker cpu_worker < <("$loads" "$work/$picture.jpg" $((2 * runs)))
  printf "  %-10s in process %7.1f ms wall %7.1f ms CPU | in a worker %7.1f ms wall %7.1f ms CPU | %s x wall, %s x CPU\n" \
    "$picture" "$wall_here" "$cpu_here" "$wall_worker" "$cpu_worker" "$(ratio "$wall_worker" "$wall_here")" \
    "$(ratio "$cpu_worker" "$cpu_here")"
done

cat > "$work/inner.sh" <<'INNER'
#!/usr/bin/env bash
set -euo pipefail
viewer=$1; work=$2; runs=$3
export XDG_RUNTIME_DIR=$work/xdg; mkdir -p -m 0700 "$XDG_RUNTIME_DIR"
export PICTORAND_WINDIR=$work/windir
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
now_ms() { date +%s%3N; }
settings() { printf "[Others]\nOneInstance=0\nSandbox=%s\n" "$1" > "$PICTORAND_WINDIR/P_RAND32.INI"; }

echo "2. Launch to first paint of the 1920 x 1080 JPEG, alone in its folder (median ms: launch to exit right"
echo "   after the paint, and main() to the paint as the viewer traces it):"
mkdir -p "$work/alone"; cp "$work/1920x1080.jpg" "$work/alone/"
# The two settings take turns: the machine drifts by more than the 5 ms
# that count between one block of starts and the next.
rm -f "$work/paint-0.txt" "$work/paint-1.txt"
for i in $(seq "$runs"); do
  for sandbox in 0 1; do
    settings $sandbox
    start=$(now_ms)
    PICTORAND_TRACE_STARTUP=1 PICTORAND_QUIT_AFTER_PAINT=1 "$viewer" "$work/alone/1920x1080.jpg" 2> "$work/trace.txt"
    echo "$(( $(now_ms) - start )) $(awk '/painted$/ {print $1}' "$work/trace.txt")" >> "$work/paint-$sandbox.txt"
  done
done
printf "  Sandbox=0 %s ms (traced %s ms), Sandbox=1 %s ms (traced %s ms)\n" \
  "$(cut -d' ' -f1 "$work/paint-0.txt" | median)" "$(cut -d' ' -f2 "$work/paint-0.txt" | median)" \
  "$(cut -d' ' -f1 "$work/paint-1.txt" | median)" "$(cut -d' ' -f2 "$work/paint-1.txt" | median)"

echo "3. Step to the next 6000 x 4000 JPEG, read ahead (median ms, key to painted):"
cd "$work/photos"
for sandbox in 0 1; do
  settings $sandbox
  PICTORAND_TRACE_STEPS=1 "$viewer" 00.jpg 2> "$work/steps-$sandbox.txt" &
  pid=$!
  for _ in $(seq 100); do window=$(xdotool search --onlyvisible --name "00.jpg" 2>/dev/null | head -1) && [ -n "$window" ] && break; sleep 0.1; done
  sleep 2
  for i in $(seq 10); do xdotool windowfocus "$window" 2>/dev/null || true; xdotool key space; sleep 1.5; done
  kill $pid; wait $pid 2>/dev/null || true
  printf "  Sandbox=%s: %s ms\n" $sandbox "$(grep -o 'painted [0-9.]*' "$work/steps-$sandbox.txt" | awk 'NR>2 {print $2}' | median)"
done
INNER
chmod +x "$work/inner.sh"
# -noreset: by default the server starts over when its last client goes, and
# a viewer started in that moment cannot connect (about 1 start in 150).
xvfb-run -a -s "-noreset -screen 0 1920x1080x24" "$work/inner.sh" "$viewer" "$work" "$runs"

echo "4. -j 2 batch, 24 PNGs of 3000 x 2000 to JPEG (median of $runs, the two modes taking turns: wall s, CPU s):"
rm -f "$work/batch---no-sandbox.txt" "$work/batch-sandboxed.txt"
# Each measured run follows an unmeasured one of its own mode: on a virtual
# machine that hands freed memory back to its host, a run pays for every page
# beyond what the run before it freed, and a sandboxed run needs its workers'
# pages and the pictures copied out of them, a little more than a run in
# process. Right after a run in process it paid for that difference (1.08x
# against 0.95x after one of its own).
for i in $(seq "$runs"); do
  for mode in --no-sandbox sandboxed; do
    flag=$mode; [ $mode = sandboxed ] && flag=
    for run in first measured; do
      rm -rf "$work/out"
      /usr/bin/time -f "%e %U %S" -o "$work/time.txt" "$converter" $flag -j 2 -t jpg -o "$work/out" "$work/batch/"*.png > /dev/null
    done
    awk '{printf "%s %.2f\n", $1, $2 + $3}' "$work/time.txt" >> "$work/batch-$mode.txt"
  done
done
for mode in --no-sandbox sandboxed; do
  printf "  %-13s wall %s s, CPU %s s\n" "$mode" "$(cut -d' ' -f1 "$work/batch-$mode.txt" | median)" \
    "$(cut -d' ' -f2 "$work/batch-$mode.txt" | median)"
done
