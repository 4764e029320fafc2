#!/usr/bin/env bash
# Remakes the BMP seed corpus: small files from ImageMagick in every header
# variant, and hand-built files for the run-length escapes, row orders and
# broken headers the tools never write.
set -euo pipefail
out=${1:-$(dirname "$0")/corpus/bmp}
mkdir -p "$out"
cd "$out"
g="-size 13x7 gradient:red-blue"
convert $g -type truecolor BMP3:v3_24.bmp
convert $g -type palette -compress none BMP3:v3_8.bmp
convert $g -type palette -compress RLE BMP3:v3_rle8.bmp
convert $g -colors 16 -type palette -compress none BMP3:v3_4.bmp
convert $g -colors 2 -type palette BMP3:v3_1.bmp
convert $g -type truecolor BMP:v5_24.bmp
convert $g -type palette -compress RLE BMP:v5_rle8.bmp
convert $g -type truecolor BMP2:os2_24.bmp
convert $g -colors 16 -type palette BMP2:os2_4.bmp
convert $g -type truecolor -define bmp:format=bmp4 BMP:v4_24.bmp
convert -size 9x5 xc:red -depth 8 -type truecoloralpha BMP:v5_32.bmp
python3 - <<'PY'
import struct
def bmp(info=40, w=5, h=3, bits=8, comp=0, used=0, table=b'', pixels=b'', off=None):
    tstart = 14 + info
    off = tstart + len(table) if off is None else off
    hdr = bytearray(max(off, tstart + len(table)) + len(pixels))
    hdr[0:2] = b'BM'
    struct.pack_into('<IHHI', hdr, 2, len(hdr), 0, 0, off)
    struct.pack_into('<I', hdr, 14, info)
    if info == 12:
        struct.pack_into('<HHHH', hdr, 18, w, h, 1, bits)
    else:
        struct.pack_into('<iiHH', hdr, 18, w, h, 1, bits)
        if info > 16: struct.pack_into('<I', hdr, 30, comp)
        if info > 32: struct.pack_into('<I', hdr, 46, used)
    hdr[tstart:tstart + len(table)] = table
    hdr[off:off + len(pixels)] = pixels
    return bytes(hdr)
t16 = bytes(x for i in range(16) for x in (i * 16, 255 - i * 16, i * 7, 0))
t4 = t16[:16]
files = {
 'rle4_escapes.bmp': bmp(w=7, h=4, bits=4, comp=2, used=16, table=t16, pixels=bytes([3,0x12, 0,3,0x45,0x60, 0,0, 0,5,0x12,0x34,0x50,0, 0,2,1,1, 4,0xab, 0,0, 255,0xcd, 0,1])),
 'rle8_escapes.bmp': bmp(w=6, h=4, comp=1, used=4, table=t16[:16], pixels=bytes([2,1, 0,3,1,2,3,0, 0,0, 9,2, 0,2,2,1, 1,3, 0,0, 0,4,3,2,1,0, 0,1])),
 'rle8_topdown.bmp': bmp(w=4, h=-3, comp=1, used=4, table=t4, pixels=bytes([4,1,0,0,4,2,0,0,4,3,0,1])),
 'rle8_unended.bmp': bmp(w=4, h=3, comp=1, used=4, table=t4, pixels=bytes([4,1,0,0,4,2,0])),
 'rle4_topdown.bmp': bmp(w=4, h=-2, bits=4, comp=2, used=2, table=t16[:8], pixels=bytes([4,0x01,0,0,0,4,0x10,0x01,0,1])),
 'topdown24.bmp': bmp(w=2, h=-2, bits=24, pixels=bytes([1,2,3,4,5,6,0,0,7,8,9,10,11,12,0,0])),
 'os2_8.bmp': bmp(info=12, w=3, h=2, bits=8, table=bytes(768), pixels=bytes([1,2,3,0,4,5,6,0])),
 'header16.bmp': bmp(info=16, w=3, h=1, bits=1, table=bytes([0,0,0,0,255,255,255,0]), pixels=bytes([0xa0,0,0,0])),
 'header64.bmp': bmp(info=64, w=3, h=1, bits=4, used=3, table=t16[:12], pixels=bytes([0x12,0x00,0,0])),
 'header42.bmp': bmp(info=42, w=2, h=2, bits=24, pixels=bytes(16)),
 'header108_bitfields.bmp': bmp(info=108, w=2, h=1, bits=16, comp=3, pixels=bytes(4)),
 'header124_16bit.bmp': bmp(info=124, w=2, h=1, bits=16, pixels=bytes([0x1f,0,0xe0,3])),
 'header41_refused.bmp': bmp(info=41, w=2, h=1, bits=24, pixels=bytes(8)),
 'truncated_table.bmp': bmp(w=2, h=1, bits=8, table=bytes(1024), pixels=bytes(4))[:300],
 'truncated_rows.bmp': bmp(w=8, h=8, bits=24, pixels=bytes(range(100))),
 'huge_dimensions.bmp': bmp(w=30000, h=30000, bits=24, pixels=bytes(16)),
 'huge_rle_delta.bmp': bmp(w=20000, h=20000, comp=1, used=2, table=bytes(8), pixels=bytes([0,2,255,255,0,2,255,255,5,1,0,0,0,4,1,2,3,4])),
 'colors_used_huge.bmp': bmp(w=2, h=1, bits=8, used=0xffffffff, table=bytes(1024), pixels=bytes(4)),
}
for name, data in files.items():
    open(name, 'wb').write(data)
PY
