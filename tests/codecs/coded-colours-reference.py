#!/usr/bin/python3
# The sRGB colours of the eight colours make-library-fixtures.sh writes as
# Display P3, as BT.2020 (BT.709 curve) and as BT.2020 with the PQ and HLG
# curves (10 bits, read at 8 as avifdec -d 8 gives them), by the textbook
# derivation from the primaries and white point and the curves' own
# formulas, without a colour library: the reference the AVIF reader's
# conversion is checked against. The high dynamic range ones are brought to
# the display's range as the reader does: 203 nits is white, light above
# 80 % of it rolled off towards white.
def inverse(m):
    a, b, c = m[0]; d, e, f = m[1]; g, h, i = m[2]
    det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g)
    return [[(e * i - f * h) / det, (c * h - b * i) / det, (b * f - c * e) / det],
            [(f * g - d * i) / det, (a * i - c * g) / det, (c * d - a * f) / det],
            [(d * h - e * g) / det, (b * g - a * h) / det, (a * e - b * d) / det]]
def apply(m, v): return [sum(m[r][k] * v[k] for k in range(3)) for r in range(3)]
def product(a, b): return [[sum(a[r][k] * b[k][c] for k in range(3)) for c in range(3)] for r in range(3)]
def to_xyz(primaries, white):
    columns = [[x / y, 1, (1 - x - y) / y] for x, y in primaries]
    p = [[columns[c][r] for c in range(3)] for r in range(3)]
    s = apply(inverse(p), [white[0] / white[1], 1, (1 - white[0] - white[1]) / white[1]])
    return [[p[r][c] * s[c] for c in range(3)] for r in range(3)]
D65 = (0.3127, 0.3290)
srgb = to_xyz([(0.64, 0.33), (0.30, 0.60), (0.15, 0.06)], D65)
p3 = to_xyz([(0.680, 0.320), (0.265, 0.690), (0.150, 0.060)], D65)
bt2020 = to_xyz([(0.708, 0.292), (0.170, 0.797), (0.131, 0.046)], D65)
def srgb_decode(v): return v / 12.92 if v <= 0.04045 else ((v + 0.055) / 1.055) ** 2.4
def srgb_encode(l):
    l = min(max(l, 0), 1)
    return 12.92 * l if l <= 0.0031308 else 1.055 * l ** (1 / 2.4) - 0.055
A, B = 1.09929682680944, 0.018053968510807
def bt709_decode(v): return v / 4.5 if v < 4.5 * B else ((v + A - 1) / A) ** (1 / 0.45)
import math
def tone(nits):
    x = nits / 203
    return x if x <= 0.8 else 0.8 + 0.2 * (1 - math.exp(-(x - 0.8) / 0.2))
def pq_decode(v):
    m1, m2, c1, c2, c3 = 2610 / 16384, 2523 / 4096 * 128, 3424 / 4096, 2413 / 4096 * 32, 2392 / 4096 * 32
    p = v ** (1 / m2)
    return tone(10000 * (max(p - c1, 0) / (c2 - c3 * p)) ** (1 / m1))
def hlg_decode(v):
    a = 0.17883277; b = 1 - 4 * a; c = 0.5 - a * math.log(4 * a)
    scene = v * v / 3 if v <= 0.5 else (math.exp((v - c) / a) + b) / 12
    return tone(1000 * scene ** 1.2)
high = [(130, 100, 75), (148, 148, 148), (174, 162, 150), (192, 192, 192),
        (75, 75, 75), (112, 125, 105), (224, 224, 224), (25, 50, 75)]
colours = [(200, 100, 50), (60, 180, 90), (90, 90, 200), (128, 128, 128),
           (230, 200, 150), (30, 60, 40), (250, 250, 250), (100, 40, 140)]
for name, space, decode, given in (("display-p3.avif", p3, srgb_decode, colours),
                                   ("bt2020.avif", bt2020, bt709_decode, colours),
                                   ("pq.avif", bt2020, pq_decode, high), ("hlg.avif", bt2020, hlg_decode, high)):
    m = product(inverse(srgb), space)
    print(name, [tuple(round(255 * srgb_encode(x)) for x in apply(m, [decode(c / 255) for c in px])) for px in given])
