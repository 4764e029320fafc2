#pragma once
// Quarter turns and mirror images at 1, 4, 8 and 24 bits per pixel. Flips
// change the block in place; a rotation builds a new block with width and
// height exchanged.

#include "core/image_block.h"
#include "core/result.h"

namespace pictorand {

// Exchange the rows top to bottom. Fails, with the block unchanged, when the
// block is unusable or of another depth (BadArgument) or the scratch row
// cannot be had (OutOfMemory).
Status flipVertical(ImageBlock& block);

// Mirror every row left to right; results and failures as flipVertical.
Status flipHorizontal(ImageBlock& block);

// Clockwise quarter turn: a horizontal flip followed by a transpose of the
// stored rows. On success `source` is released (left null) and the new block
// returned. On failure null is returned and `source` is exactly as it was.
ImageBlock rotateRight(ImageBlock& source);

// Counter-clockwise quarter turn: a vertical flip followed by the transpose;
// success and failure as rotateRight.
ImageBlock rotateLeft(ImageBlock& source);

} // namespace pictorand
