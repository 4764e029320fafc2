#!/usr/bin/env bash
# Times 24 photo-sized PNGs (768 x 512, about 0.4 MP, like the Kodak set) to
# JPEG in one call: pictorand32-convert with -j 1 and -j 2 against
# GraphicsMagick's `gm mogrify -format jpg`, in one hyperfine run. Prints wall
# and CPU time and the two ratios (targets: -j 2 at least 1.8x faster than
# -j 1, and at least 2x faster than gm mogrify), and beside them what two
# independent processes on the halves of the set make of the same two
# processors. With KODAK_DIR pointing at a
# folder of PNGs, those are used instead of the generated pictures.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v gm >/dev/null || { echo "gm is not installed (graphicsmagick)" >&2; exit 2; }
source bench/setup.sh

mkdir -p "$work/in" "$work/j1" "$work/j2" "$work/gm"
if [ -n "${KODAK_DIR:-}" ]; then
  cp "$KODAK_DIR"/*.png "$work/in/"
else
  # Plasma fractals have the smooth areas and fine detail of photographs;
  # a little grain makes the files weigh what Kodak's do (about 650 KB).
  for i in $(seq -w 1 24); do
    convert -seed "$i" -size 768x512 plasma:fractal -blur 0x1 -attenuate 0.2 +noise Gaussian -depth 8 \
      "PNG24:$work/in/kodim$i.png"
  done
fi
# What this machine gives two processors' worth of the same work: two -j 1
# runs over the halves of the set at once (each core then also shares the
# caches and the memory bus with the other's work).
mkdir -p "$work/halves"
files=("$work"/in/*.png)
half=$(( ${#files[@]} / 2 ))
printf '%s -j 1 -t jpg -o %s %s >/dev/null &\n%s -j 1 -t jpg -o %s %s >/dev/null\nwait\n' \
  "$ours" "$work/halves" "${files[*]:0:$half}" "$ours" "$work/halves" "${files[*]:$half}" > "$work/halves.sh"
# Each preparation is synced, so no write-back of the copies made for gm runs
# on the processors while a command is timed.
hyperfine -N --warmup 1 --runs "${RUNS:-5}" --export-csv "$work/times.csv" \
  --prepare "sh -c 'rm -f $work/j1/* $work/j2/* $work/gm/* $work/halves/*; cp $work/in/*.png $work/gm/; sync'" \
  -n "pictorand32-convert -j 1" "$ours -j 1 -t jpg -o $work/j1 $(echo "$work"/in/*.png)" \
  -n "pictorand32-convert -j 2" "$ours -j 2 -t jpg -o $work/j2 $(echo "$work"/in/*.png)" \
  -n "gm mogrify -format jpg" "gm mogrify -format jpg $(echo "$work"/gm/*.png)" \
  -n "two -j 1 runs on the halves at once" "sh $work/halves.sh"
# Every run's preparation empties all three folders: convert once more to compare.
rm -f "$work"/j1/* "$work"/j2/*
"$ours" -j 1 -t jpg -o "$work/j1" "$work"/in/*.png >/dev/null
"$ours" -j 2 -t jpg -o "$work/j2" "$work"/in/*.png >/dev/null
cmp <(cd "$work/j1" && md5sum ./*) <(cd "$work/j2" && md5sum ./*) && echo "-j 2 files are byte-identical to -j 1"
# hyperfine's CSV: command, mean, stddev, median, user, system, min, max
awk -F, 'NR > 1 { name[NR] = $1; wall[NR] = $2; cpu[NR] = $5 + $6
    printf "%-26s wall %7.1f ms, CPU %7.1f ms\n", $1, $2 * 1000, ($5 + $6) * 1000 }
  END { printf "-j 2 vs -j 1: %.2fx faster; -j 2 vs gm mogrify: %.2fx faster\n", wall[2] / wall[3], wall[4] / wall[3]
        printf "two processes on the halves at once vs -j 1: %.2fx faster (what this machine allows)\n", wall[2] / wall[5] }' \
  "$work/times.csv"
