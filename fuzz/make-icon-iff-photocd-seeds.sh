#!/usr/bin/env bash
# Remakes the seed corpora of the icon, IFF and Photo CD fuzz targets: small
# files from ImageMagick and netpbm, and hand-built files (python3) for the
# branches the tools never write.
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)/corpus
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# Icons
out=$root/icon; mkdir -p "$out"
convert -size 16x16 gradient:red-blue -alpha set -channel A -fx 'i<4?0:1' +channel src.png
convert src.png -define icon:auto-resize=24,16 "$out/magick_32bit.ico"
convert -size 8x8 gradient:red-blue -depth 8 -type truecolor g.ppm
convert -size 8x8 pattern:checkerboard -depth 8 -type truecolor c.ppm
convert -size 8x8 gradient:red-blue -colors 12 -depth 8 -type truecolor p.ppm
ppmtowinicon c.ppm > "$out/netpbm_1bit.ico"
ppmtowinicon p.ppm > "$out/netpbm_4bit.ico"
ppmtowinicon g.ppm > "$out/netpbm_8bit.ico"
convert src.png -depth 8 PAM:- | pamtowinicon -pngthreshold=16 > "$out/netpbm_png.ico"
python3 - "$out" <<'PY'
import struct, sys, os
out = sys.argv[1]
def w(name, data): open(os.path.join(out, name), 'wb').write(data)
# 4-bit 8x2 icon whose directory lies about the size, with a mask.
hdr = struct.pack('<IiiHHIIiiII', 40, 8, 4, 1, 4, 0, 0, 0, 0, 2, 0)
table = bytes([0,0,0,0, 0,0,255,0])
rows = bytes([0x01,0x10,0x01,0x10]) * 2
mask = bytes([0xF0,0,0,0]) * 2
img = hdr + table + rows + mask
w('hand_4bit_short_table.ico', struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', 16, 16, 0, 0, 1, 4, len(img), 22) + img)
w('cursor.ico', struct.pack('<HHH', 0, 2, 1) + struct.pack('<BBBBHHII', 8, 2, 0, 0, 1, 4, len(img), 22) + img)
w('count_zero.ico', struct.pack('<HHH', 0, 1, 0))
w('truncated_image.ico', struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', 8, 2, 0, 0, 1, 4, len(img), 22) + img[:50])
w('offset_past_end.ico', struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', 8, 2, 0, 0, 1, 4, 10, 9999))
PY

# IFF
out=$root/iff; mkdir -p "$out"
convert -size 12x3 gradient:red-blue -depth 8 -type truecolor grad.ppm
convert -size 12x3 gradient:red-blue -colors 4 -depth 8 -type truecolor four.ppm
ppmtoilbm four.ppm > "$out/planes2_byterun1.iff" 2>/dev/null
ppmtoilbm -nocompress four.ppm > "$out/planes2_plain.iff" 2>/dev/null
ppmtoilbm -ham6 grad.ppm > "$out/ham6.iff" 2>/dev/null
ppmtoilbm -ham8 grad.ppm > "$out/ham8.iff" 2>/dev/null
ppmtoilbm -24force grad.ppm > "$out/deep24.iff" 2>/dev/null
ppmtoilbm -fixplanes 8 -nocompress grad.ppm > "$out/planes8_plain.iff" 2>/dev/null
python3 - "$out" <<'PY'
import struct, sys, os
out = sys.argv[1]
def chunk(cid, data):
    pad = b'\0' if len(data) % 2 else b''
    return cid + struct.pack('>I', len(data)) + data + pad
def form(ftype, chunks):
    body = ftype + b''.join(chunks)
    return b'FORM' + struct.pack('>I', len(body)) + body
def bmhd(w, h, planes, masking=0, comp=0):
    return chunk(b'BMHD', struct.pack('>HHhhBBBBHBBhh', w, h, 0, 0, planes, masking, comp, 0, 0, 10, 11, w, h))
def wr(name, data): open(os.path.join(out, name), 'wb').write(data)
# Extra-half-brite: 6 planes, 32 colours, 4x1.
cmap32 = bytes(range(96))
rowbytes = 2
body = bytes([0b10100000, 0]) * 6
wr('ehb.iff', form(b'ILBM', [bmhd(4, 1, 6), chunk(b'CAMG', struct.pack('>I', 0x80)), chunk(b'CMAP', cmap32), chunk(b'BODY', body)]))
# Sliced HAM: 6 planes, 2x3, SHAM of 3 line palettes.
sham = struct.pack('>H', 0) + b''.join(struct.pack('>16H', *([0x0F00 + i for i in range(16)])) for _ in range(3))
wr('sham.iff', form(b'ILBM', [bmhd(2, 3, 6), chunk(b'CAMG', struct.pack('>I', 0x800)), chunk(b'SHAM', sham), chunk(b'CMAP', bytes(48)), chunk(b'BODY', bytes([0x40, 0]) * 18)]))
# Chunky PBM, compressed, 3x2 with a run past the row and control 128.
wr('pbm_byterun1.iff', form(b'PBM ', [bmhd(3, 2, 8, 0, 1), chunk(b'CMAP', bytes(range(256)) * 3), chunk(b'BODY', bytes([0x80, 0xFB, 7, 0x01, 1, 2]))]))
# Mask plane, 1 plane.
wr('mask_plane.iff', form(b'ILBM', [bmhd(8, 2, 1, 1), chunk(b'CMAP', bytes([0,0,0,255,255,255])), chunk(b'BODY', bytes([0xAA, 0, 0xFF, 0, 0x55, 0, 0xFF, 0]))]))
wr('too_wide.iff', form(b'ILBM', [bmhd(10001, 1, 1), chunk(b'CMAP', bytes(6)), chunk(b'BODY', bytes(2))]))
wr('body_before_bmhd.iff', form(b'ILBM', [chunk(b'BODY', bytes(2)), bmhd(8, 1, 1), chunk(b'CMAP', bytes(6))]))
wr('short_body.iff', form(b'ILBM', [bmhd(16, 4, 24, 0, 1), chunk(b'BODY', bytes([0x01, 0x10]))]))
wr('odd_chunk_padding.iff', form(b'ILBM', [chunk(b'ANNO', b'abc'), bmhd(8, 1, 1), chunk(b'CMAP', bytes(6)), chunk(b'BODY', bytes([0xF0, 0]))]))
PY

# Photo CD: the headers and the first rows of a small picture; the reader
# decodes missing data as zero bytes, so short packs are enough.
out=$root/photocd; mkdir -p "$out"
python3 - "$out" <<'PY'
import sys, os
out = sys.argv[1]
def wr(name, data): open(os.path.join(out, name), 'wb').write(data)
head = bytearray(b'\xff' * 7 + bytes(4096 - 7))
head[3586] = 3
wr('image_pack_rotated_header.pcd', bytes(head))
head[3586] = 1
wr('image_pack_left_header.pcd', bytes(head))
wr('overview_header.pcd', b'PCD_OPA' + bytes(505))
wr('not_photocd.pcd', b'\xff' * 6 + b'\0' * 10)
wr('empty.pcd', b'')
PY
echo "seeds written under $root"
