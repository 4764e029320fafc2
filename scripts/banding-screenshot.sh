#!/usr/bin/env bash
# Writes a picture (default docs/banding.png) of what keeping 16 bits to the
# last step is for: a dark 16-bit grey ramp as the viewer shows it on a
# wide-gamut display (ghostscript's Adobe RGB profile on the X root window),
# above the same ramp rounded to 8 bits first (by ImageMagick) and shown the
# same way; below them, both again with their contrast stretched eight times,
# so the steps can be seen. Screenshots of the viewer under Xvfb.
#   scripts/banding-screenshot.sh [BUILD_DIR] [OUTPUT]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/test}
output=${2:-docs/banding.png}
viewer=$(realpath "$build/shell/pictorand32")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# 640 x 80, left to right from 20 % to 24 % grey: ten 8-bit levels.
convert -size 80x640 "gradient:gray(24%)-gray(20%)" -rotate 90 -depth 16 "png48:$work/ramp16.png"
convert "$work/ramp16.png" -depth 8 "png24:$work/ramp8.png"
export PICTORAND_WINDIR=$work/windir XDG_RUNTIME_DIR=$work/run
mkdir -p "$PICTORAND_WINDIR" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
xvfb-run -a -s "-noreset -screen 0 1024x768x24" bash -c '
    viewer=$1 work=$2
    /usr/bin/python3 -c "
import ctypes
x = ctypes.cdll.LoadLibrary(\"libX11.so.6\")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XDefaultRootWindow.restype = ctypes.c_ulong
x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XChangeProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_int,
                              ctypes.c_int, ctypes.c_char_p, ctypes.c_int]
display = x.XOpenDisplay(None)
profile = open(\"/usr/share/color/icc/ghostscript/a98.icc\", \"rb\").read()
x.XChangeProperty(display, x.XDefaultRootWindow(display), x.XInternAtom(display, b\"_ICC_PROFILE\", 0),
                  x.XInternAtom(display, b\"CARDINAL\", 0), 8, 0, profile, len(profile))
x.XCloseDisplay.argtypes = [ctypes.c_void_p]
x.XCloseDisplay(display)"
    for name in ramp16 ramp8; do
        "$viewer" "$work/$name.png" & pid=$!
        for _ in $(seq 50); do
            xdotool search --onlyvisible --pid "$pid" >/dev/null 2>&1 && break
            sleep 0.2
        done
        sleep 1
        import -window root "$work/$name-screen.png"
        kill "$pid"
        wait "$pid" || true
    done' bash "$viewer" "$work"
# The ramp is the one large grey rectangle on the screen.
/usr/bin/python3 - "$work" <<'PY'
import sys
from PIL import Image
work = sys.argv[1]
for name in ("ramp16", "ramp8"):
    screen = Image.open(f"{work}/{name}-screen.png").convert("RGB")
    width, height = screen.size
    pixels = screen.load()
    grey = [[r == g == b and 10 < r < 225 for (r, g, b) in (pixels[x, y] for x in range(width))] for y in range(height)]
    rows = [y for y in range(height) if sum(grey[y]) >= 600]
    columns = [x for x in range(width) if sum(grey[y][x] for y in rows) >= 70]
    screen.crop((columns[0], rows[0], columns[-1] + 1, rows[-1] + 1)).save(f"{work}/{name}-shown.png")
PY
for name in ramp16 ramp8; do
    convert "$work/$name-shown.png" -fx "(u - 0.22) * 8 + 0.5" "$work/$name-stretched.png"
done
mkdir -p "$(dirname "$output")"
convert -background white -font DejaVu-Sans -pointsize 14 \
    label:"16-bit ramp as shown (dithered at the last step)" "$work/ramp16-shown.png" \
    label:"the same ramp rounded to 8 bits first" "$work/ramp8-shown.png" \
    label:"both again, contrast stretched eight times (16-bit above, 8-bit below)" "$work/ramp16-stretched.png" "$work/ramp8-stretched.png" \
    -gravity west -append -bordercolor white -border 8 "$output"
echo "wrote $output"
