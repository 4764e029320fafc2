# Writes three_frames.png and hidden_default.png with Pillow's APNG writer
# from a.png, b.png and c.png (given a profile file, their twins
# three_frames_a98.png and hidden_default_a98.png tagged with it): delays
# 30, 5 and 250 ms, three plays; the second frame is blended over the first
# and cleared to transparent black afterwards.
import sys
from PIL import Image, PngImagePlugin as P
a, b, c = (Image.open(n + '.png') for n in 'abc')
profile = {'icc_profile': open(sys.argv[1], 'rb').read()} if len(sys.argv) > 1 else {}
suffix = '_a98' if profile else ''
a.save('three_frames%s.png' % suffix, save_all=True, append_images=[b, c], duration=[30, 5, 250], loop=3,
       disposal=[P.Disposal.OP_NONE, P.Disposal.OP_BACKGROUND, P.Disposal.OP_NONE],
       blend=[P.Blend.OP_SOURCE, P.Blend.OP_OVER, P.Blend.OP_OVER], **profile)

# hidden_default.png: a.png is the default image, outside the animation of
# c.png then b.png (Pillow writes b.png's changed right half alone), 40 ms
# each, for ever.
a.save('hidden_default%s.png' % suffix, save_all=True, append_images=[c, b], duration=40, loop=0, default_image=True,
       **profile)
