#pragma once
// Quarter turns and mirror images at 1, 4, 8 and 24 bits per pixel. Flips
// change the block in place; a rotation builds a new block with width and
// height exchanged and puts it in the old one's place.

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
// stored rows. On failure `block` is exactly as it was: BadArgument as
// flipVertical, OutOfMemory when the turned block cannot be had.
Status rotateRight(ImageBlock& block);

// Counter-clockwise quarter turn: a vertical flip followed by the transpose;
// success and failure as rotateRight.
Status rotateLeft(ImageBlock& block);

// Makes a picture stored in EXIF/TIFF orientation `orientation` (1 to 8: 2
// mirrored, 3 upside down, 4 mirrored upside down, 5 transposed, 6 turned
// left, 7 transposed the other way, 8 turned right) upright. On failure the
// block is as it was: BadArgument for another value or depth, else
// OutOfMemory.
Status orientUpright(ImageBlock& block, int orientation);

} // namespace pictorand
