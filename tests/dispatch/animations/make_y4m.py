# Writes frame N (0, 1 or 2) of a 16x12 4:4:4 sequence as a y4m file: a luma
# ramp under chroma that changes from frame to frame.
import sys
w, h, f = 16, 12, int(sys.argv[1])
u, v = ((90, 160), (200, 60), (128, 128))[f]
out = sys.stdout.buffer
out.write(b'YUV4MPEG2 W%d H%d F30:1 Ip A1:1 C444 XCOLORRANGE=FULL\nFRAME\n' % (w, h))
out.write(bytes((x * 15 + y * 3 + f * 40) % 256 for y in range(h) for x in range(w)))
out.write(bytes((u + x * 2) % 256 for y in range(h) for x in range(w)))
out.write(bytes((v + y * 4) % 256 for y in range(h) for x in range(w)))
