#!/usr/bin/env bash
# Soak test of stepping through a folder: 300 mixed pictures (the fuzz seeds
# under their formats' extensions, the samples, generated photos and
# animations, and broken copies) are stepped through with Space, then back
# with Backspace, twice, with the read-ahead on, on a virtual X screen.
# Message boxes (broken files, the wrap-around questions) are answered by
# the next key. Passes when the viewer neither crashes nor hangs, each pass
# reports a message for the broken files, and the resident memory at the end
# of the second pass is within 10 % of the first's.
#
#   scripts/soak-navigation.sh [BUILD_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$here/build/dev}")
viewer=$(realpath "$build/shell/pictorand32" 2>/dev/null || echo "$build/shell/pictorand32")
[ -x "$viewer" ] || { echo "no viewer at $viewer" >&2; exit 1; }
for tool in xvfb-run xdotool convert; do
  command -v $tool >/dev/null || { echo "$tool is missing" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
folder=$work/pictures
mkdir -p "$folder"

# The seeds under the extension of the format their target reads.
declare -A extension=([bmp]=bmp [depth_ops]=bmp [gif]=gif [gifscan]=gif [icon]=ico [iff]=iff [jpeg]=jpg
  [load_dispatch]=bmp [ops]=bmp [pcx]=pcx [photocd]=pcd [png]=png [pnm]=ppm [sunraster]=ras [targa]=tga
  [tiff]=tif [tiffpages]=tif)
n=0
for target in "${!extension[@]}"; do
  for seed in "$here/fuzz/corpus/$target"/*; do
    [ -f "$seed" ] || continue
    n=$((n + 1)); cp "$seed" "$folder/seed$(printf %03d $n).${extension[$target]}"
  done
done
for sample in "$here"/samples/*; do cp "$sample" "$folder/"; done
i=0
while [ "$(ls "$folder" | wc -l)" -lt 290 ]; do
  i=$((i + 1))
  convert -size 64x48 plasma:fractal -resize 1200x900! -quality 85 "$folder/photo$i.jpg"
  head -c 3000 "$folder/photo$i.jpg" > "$folder/broken$i.jpg" # cut short
  [ $((i % 5)) -eq 0 ] && convert -size 40x40 -delay 5 xc:red xc:green xc:blue -loop 0 "$folder/anim$i.gif"
done
while [ "$(ls "$folder" | wc -l)" -lt 300 ]; do
  i=$((i + 1)); printf 'not a picture' > "$folder/junk$i.png"
done
count=$(ls "$folder" | wc -l)
echo "$count files"

cat > "$work/inner.sh" <<'INNER'
#!/usr/bin/env bash
set -euo pipefail
viewer=$1; work=$2; count=$3
export XDG_RUNTIME_DIR=$work/xdg; mkdir -p -m 0700 "$XDG_RUNTIME_DIR"
export PICTORAND_WINDIR=$work/windir; mkdir -p "$PICTORAND_WINDIR"
# No rename questions, no time reports; the read-ahead at its default.
printf "[Others]\nRenameExtension=0\nOneInstance=0\n" > "$PICTORAND_WINDIR/P_RAND32.INI"
cd "$work/pictures"
first=$(ls | head -1)
PICTORAND_TRACE_STEPS=1 "$viewer" "$first" 2> "$work/viewer.log" &
pid=$!
sleep 3
# No window manager: the viewer gets the keyboard focus by hand; message
# boxes take it themselves and hand it back when they close.
main=$(xdotool search --sync --onlyvisible --pid $pid --name Pictorand32 | head -1)
xdotool windowfocus "$main"
sleep 0.5
# The keyboard goes to the dialog on screen (a message, the icon chooser),
# else to the viewer: without a window manager a closed dialog does not hand
# the focus back.
focus() {
  local box
  box=$(xdotool search --onlyvisible --pid $pid --name '.' 2>/dev/null | grep -vx "$main" | tail -1 || true)
  xdotool windowfocus "${box:-$main}" 2>/dev/null || true
}
rss() { awk '/VmRSS/ {print $2}' /proc/$pid/status; }
pass() {
  for key in space BackSpace; do
    for i in $(seq "$count"); do
      [ $((i % 100)) -eq 0 ] && echo "  $key $i: resident $(rss) kB"
      kill -0 $pid 2>/dev/null || { echo "the viewer ended:" >&2; tail -5 "$work/viewer.log" >&2; exit 1; }
      focus
      xdotool key "$key"
      sleep 0.05
    done
  done
}
pass; sleep 2; first_rss=$(rss); first_steps=$(grep -c 'step painted' "$work/viewer.log" || true)
first_messages=$(grep -c '^message:' "$work/viewer.log" || true)
pass; sleep 2; second_rss=$(rss); steps=$(grep -c 'step painted' "$work/viewer.log" || true)
messages=$(grep -c '^message:' "$work/viewer.log" || true)
# Still answering: a key must still get a paint.
focus; xdotool key space; sleep 2
kill -0 $pid || { echo "the viewer ended" >&2; exit 1; }
kill $pid; wait $pid 2>/dev/null || true
echo "pass 1: $first_steps pictures painted, $first_messages messages, resident $first_rss kB"
echo "pass 2: $((steps - first_steps)) pictures painted, $((messages - first_messages)) messages, resident $second_rss kB"
echo "broken files named in messages: $(grep '^message:' "$work/viewer.log" | grep -c 'broken\|junk' || true)"
[ "$first_messages" -gt 0 ] && [ $((messages - first_messages)) -gt 0 ] || { echo "no messages" >&2; exit 1; }
awk -v a="$first_rss" -v b="$second_rss" 'BEGIN {d = (b - a) / a * 100; printf "resident memory change: %+.1f %%\n", d; exit (d > 10 || d < -10)}'
INNER
chmod +x "$work/inner.sh"
xvfb-run -a -s "-noreset -screen 0 1920x1080x24" "$work/inner.sh" "$viewer" "$work" "$count"
