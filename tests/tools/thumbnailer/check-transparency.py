#!/usr/bin/python3
"""Thumbnails of pictures with transparency, checked against other decoders.

    check-transparency.py THUMBNAILER SCRATCH

An RGBA gradient made by Pillow is written as PNG, Targa, TIFF and icons
(with PNG and with bitmap images) by Pillow, BMP with an alpha mask and
16-bit PNG (ImageMagick), palette PNG with tRNS and GIF with a
transparent index (Pillow), WebP (cwebp), AVIF (avifenc), JPEG XL (cjxl) and
QOI (qoiconv). Each is thumbnailed at its own size and compared with the
format's own decoder (Pillow, avifdec, djxl): opacity exactly, colours as
premultiplied samples within 1. One line per failure; exit status 1 if any.
"""
import subprocess
import sys

from PIL import Image

thumbnailer, scratch = sys.argv[1], sys.argv[2]
width, height = 40, 30


def path(name):
    return f"{scratch}/{name}"


def run(*command):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


gradient = Image.new("RGBA", (width, height))
gradient.putdata([(x * 6, y * 8, 200, (x * 7 + y * 3) % 256) for y in range(height) for x in range(width)])
gradient.save(path("rgba.png"))
gradient.save(path("rgba.tga"))
gradient.save(path("rgba.tif"))
gradient.save(path("png.ico"), sizes=[(width, height)])
gradient.save(path("bitmap.ico"), sizes=[(width, height)], bitmap_format="bmp")
indexed = Image.new("P", (width, height))
indexed.putpalette([(i * 37) % 256 for i in range(768)])
indexed.putdata([(x + y) % 8 for y in range(height) for x in range(width)])
indexed.save(path("indexed.png"), transparency=bytes([0, 128, 255, 255, 64, 255, 255, 255]))
indexed.save(path("indexed.gif"), transparency=3)
run("convert", path("rgba.png"), path("rgba.bmp"))
run("convert", path("rgba.png"), "-depth", "16", "PNG64:" + path("rgba16.png"))
run("cwebp", "-quiet", "-lossless", path("rgba.png"), "-o", path("rgba.webp"))
run("avifenc", "--lossless", path("rgba.png"), path("rgba.avif"))
run("cjxl", "-d", "0", path("rgba.png"), path("rgba.jxl"))
run("qoiconv", path("rgba.png"), path("rgba.qoi"))
run("avifdec", path("rgba.avif"), path("avif-reference.png"))
run("djxl", path("rgba.jxl"), path("jxl-reference.png"))

cases = [("rgba.png", "rgba.png"), ("rgba16.png", "rgba.png"), ("indexed.png", "indexed.png"), ("indexed.gif", "indexed.gif"),
         ("rgba.webp", "rgba.webp"), ("rgba.avif", "avif-reference.png"), ("rgba.jxl", "jxl-reference.png"),
         ("rgba.tga", "rgba.tga"), ("rgba.tif", "rgba.tif"), ("rgba.bmp", "rgba.bmp"), ("png.ico", "png.ico"), ("bitmap.ico", "bitmap.ico"), ("rgba.qoi", "rgba.png")]
failures = 0
for name, reference in cases:
    run(thumbnailer, "-s", str(max(width, height)), path(name), path(name + ".thumbnail.png"))
    made = Image.open(path(name + ".thumbnail.png"))
    expected = list(Image.open(path(reference)).convert("RGBA").getdata())
    got = list(made.convert("RGBA").getdata())
    alpha = max(abs(e[3] - g[3]) for e, g in zip(expected, got))
    colour = max(abs(e[c] * e[3] - g[c] * g[3]) / 255 for e, g in zip(expected, got) for c in range(3))
    if made.mode != "RGBA" or made.size != (width, height) or alpha != 0 or colour > 1:
        print(f"{name}: {made.mode} {made.size}, opacity off by {alpha}, colour by {colour:.1f}")
        failures += 1
sys.exit(1 if failures else 0)
