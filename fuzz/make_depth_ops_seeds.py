#!/usr/bin/env python3
"""Writes the seeds of fuzz/depth_ops_fuzzer.cpp: one byte choosing the colour
count, then an image block (40-byte header, colour table, bottom-up rows)."""
import os
import struct

out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "depth_ops")


def block(width, height, bits, colors, rows_height=None, pattern=7, table_entries=None):
    row = ((width * bits + 31) // 32) * 4
    stored = height if rows_height is None else rows_height
    entries = colors if table_entries is None else table_entries
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, 0, 2835, 2835, colors, 0)
    table = bytes((i * 37 + k * 91) & 255 if k < 3 else 0 for i in range(entries) for k in range(4))
    pixels = bytes((i * pattern + i // 5) & 255 for i in range(row * max(stored, 0)))
    return header + table + pixels


seeds = {
    "mono_9x3": (0, block(9, 3, 1, 2)),
    "mono_white_first": (1, block(17, 2, 1, 2)),
    "four_5x4": (1, block(5, 4, 4, 16)),
    "four_few_colours": (2, block(7, 3, 4, 3)),
    "eight_11x6": (0, block(11, 6, 8, 256)),
    "eight_short_table": (3, block(6, 5, 8, 7)),
    "true_13x9": (0, block(13, 9, 24, 0, pattern=13)),
    "true_1x1": (2, block(1, 1, 24, 0)),
    "three_bit_7x3": (0, block(7, 3, 3, 0)),
    "sixteen_5x3": (1, block(5, 3, 16, 0)),
    "thirty_two_4x3": (0, block(4, 3, 32, 0)),
    "forty_3x3": (0, block(3, 3, 40, 0)),
    "forty_eight_3x2": (0, block(3, 2, 48, 0)),
    "sixty_four_3x2": (0, block(3, 2, 64, 0)),
    "rows_missing": (0, block(8, 40, 24, 0, rows_height=2)),
    "negative_height": (0, block(8, -3, 8, 256, rows_height=3)),
    "huge_width_no_rows": (0, block(0x7FFFFFF0, 0, 24, 0)),
    # found by fuzzing: no columns, so every row is empty, but 1.7e9 of them
    "zero_width_huge_height": (2, block(0, 0x67000000, 64, 0)),
    "table_past_end": (0, block(2, 1, 8, 0x40000000, table_entries=5)),
}
os.makedirs(out, exist_ok=True)
for name, (choice, data) in seeds.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(bytes([choice]) + data)
