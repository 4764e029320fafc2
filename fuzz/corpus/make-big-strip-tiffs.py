#!/usr/bin/env python3
"""Makes the seeds tiff/big_shared_strips_lzw.tif and tiff/big_short_strip_packbits.tif:
1500 x 1000 RGB pages big enough for the reader's strip-by-strip (threaded)
path, yet about 1-2 KB, because every strip points at the same bytes.

Strip bytes come from tiffcp; run in fuzz/corpus, after:
  convert -size 1500x64 "xc:rgb(100,150,200)" -depth 8 -compress none c.tif
  tiffcp -c lzw -r 64 c.tif c-lzw.tif
  convert -size 1500x16 "xc:rgb(90,90,90)" -depth 8 -compress none g.tif
  tiffcp -c packbits -r 16 g.tif g-pb.tif
The PackBits page says strip 20 holds half its bytes, so decoding fails there.
"""
import struct, sys
def strip0(path):
    b=open(path,'rb').read()
    assert b[:2]==b'II'
    ifd=struct.unpack('<I',b[4:8])[0]
    n=struct.unpack('<H',b[ifd:ifd+2])[0]
    tags={}
    for i in range(n):
        e=b[ifd+2+12*i:ifd+14+12*i]
        tag,typ,cnt,val=struct.unpack('<HHII',e)
        if typ==3 and cnt==1: val=struct.unpack('<H',e[8:10])[0]
        tags[tag]=(typ,cnt,val)
    off=tags[273][2]; cnt=tags[279][2]
    assert tags[273][1]==1
    return b[off:off+cnt]
def build(out, data, compression, rows, width=1500, height=1000, short=None):
    strips=(height+rows-1)//rows
    # layout: header(8) IFD at 8, then arrays, then data
    tags=[(256,4,1,width),(257,4,1,height),(258,3,3,None),(259,3,1,compression),(262,3,1,2),
          (273,4,strips,None),(277,3,1,3),(278,4,1,rows),(279,4,strips,None),(284,3,1,1)]
    ifdsize=2+12*len(tags)+4
    pos=8+ifdsize
    bps_off=pos; pos+=6
    offs_off=pos; pos+=4*strips
    cnts_off=pos; pos+=4*strips
    data_off=pos
    counts=[len(data)]*strips
    if short is not None: counts[short]=len(data)//2
    out_b=bytearray(b'II*\0'+struct.pack('<I',8))
    out_b+=struct.pack('<H',len(tags))
    for tag,typ,cnt,val in tags:
        if tag==258: out_b+=struct.pack('<HHII',tag,typ,cnt,bps_off)
        elif tag==273: out_b+=struct.pack('<HHII',tag,typ,cnt,offs_off)
        elif tag==279: out_b+=struct.pack('<HHII',tag,typ,cnt,cnts_off)
        elif typ==3: out_b+=struct.pack('<HHIHH',tag,typ,cnt,val,0)
        else: out_b+=struct.pack('<HHII',tag,typ,cnt,val)
    out_b+=struct.pack('<I',0)
    out_b+=struct.pack('<HHH',8,8,8)
    out_b+=b''.join(struct.pack('<I',data_off) for _ in range(strips))
    out_b+=b''.join(struct.pack('<I',c) for c in counts)
    assert len(out_b)==data_off
    out_b+=data
    open(out,'wb').write(out_b)
lzw=strip0('c-lzw.tif'); pb=strip0('g-pb.tif')

build('tiff/big_shared_strips_lzw.tif', lzw, 5, 64)
build('tiff/big_short_strip_packbits.tif', pb, 32773, 16, short=20)
