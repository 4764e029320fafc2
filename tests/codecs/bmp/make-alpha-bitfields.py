#!/usr/bin/env python3
# Writes in.bmp: 4 x 2 pixels of 32 bits with red, green, blue and alpha at
# the bit-field masks given (hex, in that order), under an info header of
# HEADER_SIZE bytes (56: the masks inside it, as Adobe's header has them; 108:
# a version 4 header). No common writer puts the alpha mask anywhere but the
# top byte, so these are made here from the header's definition.
#   make-alpha-bitfields.py HEADER_SIZE RMASK GMASK BMASK AMASK
import struct
import sys

size = int(sys.argv[1])
masks = [int(m, 16) for m in sys.argv[2:6]]
pixels = [[(255, 0, 0, 255), (0, 255, 0, 128), (0, 0, 255, 0), (255, 255, 255, 255)],
          [(10, 20, 30, 255), (200, 100, 50, 64), (0, 0, 0, 0), (128, 128, 128, 200)]]
data = b''
for row in reversed(pixels):  # bottom-up
    for sample in row:
        value = 0
        for channel, mask in zip(sample, masks):
            value |= (channel << ((mask & -mask).bit_length() - 1)) & mask
        data += struct.pack('<I', value)
header = struct.pack('<IiiHHIIiiII', size, 4, 2, 1, 32, 3, len(data), 2835, 2835, 0, 0) + struct.pack('<4I', *masks)
header += b'\0' * (size - len(header))
offset = 14 + len(header)
with open('in.bmp', 'wb') as out:
    out.write(b'BM' + struct.pack('<IHHI', offset + len(data), 0, 0, offset) + header + data)
