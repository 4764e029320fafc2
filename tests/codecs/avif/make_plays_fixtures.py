#!/usr/bin/env python3
"""Makes the AVIF sequences that say how many times they play.

avifenc 0.11 writes no edit list and no installed tool writes one, so this
takes avifenc's three-frame sequence (tests/dispatch/animations/
three_frames.avif: movie and media timescale 1000, 285 units long) and gives
its track an edts > elst box of one edit of the whole media, with the
durations each file needs. The old moov box becomes a free box of the same
size, so no offset into mdat moves, and the new moov goes at the end.

Run from the top of the source tree (make-library-fixtures.sh does).
"""
import struct

SOURCE = "tests/dispatch/animations/three_frames.avif"
OUT = "tests/codecs/avif/fixtures/"
INDEFINITE = 0xFFFFFFFFFFFFFFFF


def boxes(data):
    at = 0
    while at < len(data):
        size, kind = struct.unpack(">I4s", data[at:at + 8])
        assert size >= 8, "the source uses no 64-bit or open-ended sizes"
        yield kind, at, data[at:at + size]
        at += size


def box(kind, body):
    return struct.pack(">I4s", 8 + len(body), kind) + body


def with_duration(header, field_at, duration):
    """A version 1 mvhd or tkhd with its 64-bit duration replaced."""
    assert header[8] == 1, "avifenc writes version 1 headers"
    return header[:field_at] + struct.pack(">Q", duration) + header[field_at + 8:]


def sequence(source, repeats, track_duration):
    top = list(boxes(source))
    moov = next(b for k, _, b in top if k == b"moov")
    children = []
    for kind, _, child in boxes(moov[8:]):
        if kind == b"mvhd":  # size, type, version+flags, creation, modification, timescale
            child = with_duration(child, 8 + 4 + 8 + 8 + 4, track_duration)
        if kind == b"trak":
            parts = list(boxes(child[8:]))
            media_duration = 285
            # One edit: the whole media from its start, at normal rate.
            edit_list = box(b"elst", struct.pack(">BBHI", 0, 0, 1 if repeats else 0, 1)
                            + struct.pack(">IiHH", media_duration, 0, 1, 0))
            body = b""
            for part_kind, _, part in parts:
                if part_kind == b"tkhd":  # ... modification, track id, reserved, duration
                    part = with_duration(part, 8 + 4 + 8 + 8 + 4 + 4, track_duration)
                body += part
                if part_kind == b"tkhd":
                    body += box(b"edts", edit_list)
            child = box(b"trak", body)
        children.append(child)
    out = b""
    for kind, _, data in top:
        out += box(b"free", bytes(len(data) - 8)) if kind == b"moov" else data
    return out + box(b"moov", b"".join(children))


source = open(SOURCE, "rb").read()
for name, repeats, duration in [("plays-once.avif", False, 285),
                                ("plays-three-times.avif", True, 3 * 285),
                                ("plays-for-ever.avif", True, INDEFINITE)]:
    with open(OUT + name, "wb") as f:
        f.write(sequence(source, repeats, duration))
