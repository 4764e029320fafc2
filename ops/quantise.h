#pragma once
// Median-cut colour selection with Floyd-Steinberg dithering: the program's
// one way of reducing colours.

#include "core/image_block.h"
#include "core/result.h"

namespace pictorand {

// A new block of at most `colors` colours (256, 16 or 2): 8 bits for more than
// 16, 4 bits for 3..16, 1 bit for 2. 4- and 8-bit sources are expanded first;
// a 1-bit source, a null source or a count outside 1..256 fails with
// BadArgument, a failed allocation with OutOfMemory. Two colours always get a
// black and white table.
Result<ImageBlock> quantise(const ImageBlock& source, int colors);

} // namespace pictorand
