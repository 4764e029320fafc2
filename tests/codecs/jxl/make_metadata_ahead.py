#!/usr/bin/env python3
"""metadata-ahead.jxl: cjxl's container of the three-frame APNG
(tests/dispatch/animations/three_frames.png, cjxl --container=1) with an XMP
box of 100 KiB put between ftyp and the first codestream box, as a writer
that pads its XMP for editing in place does. cjxl 0.7 copies no metadata
from an APNG, hence the edit. (With the box's size in the 64-bit form djxl
0.7 takes the file as cut short.)

Usage: make_metadata_ahead.py CJXL_CONTAINER OUT
"""
import struct
import sys

source = open(sys.argv[1], "rb").read()
xmp = (b'<?xpacket begin="" id="W5M0MpCehiHzreSzNTczkc9d"?><x:xmpmeta xmlns:x="adobe:ns:meta/">'
       b'<rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#"/></x:xmpmeta>')
xmp += b" " * (100 * 1024 - len(xmp) - 19) + b'<?xpacket end="w"?>'
box = struct.pack(">I4s", 8 + len(xmp), b"xml ") + xmp
signature, file_type = 12, 20  # the 'JXL ' and 'ftyp' boxes cjxl writes first
assert source[4:8] == b"JXL " and source[signature + 4:signature + 8] == b"ftyp"
assert source[signature + file_type + 4:signature + file_type + 8] in (b"jxlc", b"jxlp")
at = signature + file_type
open(sys.argv[2], "wb").write(source[:at] + box + source[at:])
