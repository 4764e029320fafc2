# Three 16x12 RGBA frames: an opaque gradient, a frame with a transparent
# hole, and a frame whose right half changes.
from PIL import Image
w, h = 16, 12
a = Image.new('RGBA', (w, h))
for y in range(h):
    for x in range(w):
        a.putpixel((x, y), (x * 16, y * 20, 128, 255))
b = a.copy()
for y in range(h):
    for x in range(w):
        b.putpixel((x, y), (255 - x * 16, 40, y * 20, 0 if 4 <= x < 10 and 3 <= y < 8 else 255))
c = b.copy()
for y in range(h):
    for x in range(8, w):
        c.putpixel((x, y), (20, 200, x * 10, 255))
for name, im in (('a', a), ('b', b), ('c', c)):
    im.save(name + '.png')
