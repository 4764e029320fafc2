#!/usr/bin/env python3
"""Writes an SVG drawing of the kind office and drawing programs export as a
metafile: a few thousand shapes (rectangles, ellipses, curves, polylines) and
a hundred lines of text, from a fixed seed. Inkscape turns it into the EMF
and WMF that bench/metafile-vs-libwmf.sh times."""
import random
import sys

random.seed(19)
out = [f'<svg xmlns="http://www.w3.org/2000/svg" width="1000" height="750" viewBox="0 0 1000 750">',
       '<rect x="0" y="0" width="1000" height="750" fill="#ffffff"/>']
colour = lambda: "#%06x" % random.randrange(0x1000000)
for i in range(1200):
    x, y = random.uniform(0, 950), random.uniform(0, 700)
    kind = i % 4
    if kind == 0:
        out.append(f'<rect x="{x:.1f}" y="{y:.1f}" width="{random.uniform(5, 60):.1f}" height="{random.uniform(5, 40):.1f}" '
                   f'fill="{colour()}" stroke="{colour()}" stroke-width="{random.uniform(0.5, 3):.1f}"/>')
    elif kind == 1:
        out.append(f'<ellipse cx="{x:.1f}" cy="{y:.1f}" rx="{random.uniform(3, 40):.1f}" ry="{random.uniform(3, 30):.1f}" '
                   f'fill="{colour()}"/>')
    elif kind == 2:
        pts = " ".join(f"{x + random.uniform(-40, 40):.1f},{y + random.uniform(-40, 40):.1f}" for _ in range(8))
        out.append(f'<polyline points="{pts}" fill="none" stroke="{colour()}" stroke-width="1.5"/>')
    else:
        out.append(f'<path d="M {x:.1f} {y:.1f} C {x + 30:.1f} {y - 40:.1f} {x + 60:.1f} {y + 40:.1f} {x + 90:.1f} {y:.1f}" '
                   f'fill="none" stroke="{colour()}" stroke-width="2"/>')
for i in range(100):
    out.append(f'<text x="{random.uniform(0, 900):.1f}" y="{random.uniform(20, 740):.1f}" font-family="DejaVu Sans" '
               f'font-size="{random.choice([10, 12, 14, 18])}" fill="{colour()}">Line of text number {i}</text>')
out.append('</svg>')
sys.stdout.write("\n".join(out) + "\n")
