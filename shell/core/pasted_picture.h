#pragma once
// What a picture taken from the clipboard becomes before it is shown.

#include "core/image_block.h"

namespace pictorand {

// The colours-used field follows the depth: 2, 16 or 256 entries for 1, 4
// and 8 bits, none above 8 bits. A block whose table was shorter gets the
// missing entries black, so the field never claims more table than there
// is. Null when the new block cannot be had.
ImageBlock withDepthColorCount(ImageBlock block);

} // namespace pictorand
