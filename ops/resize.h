#pragma once
// Changing the size of a block: nearest-neighbour resizing at every depth and
// smooth area-averaging resampling at 8 and 24 bits, plus the size arithmetic
// shared by the size dialog and the display's fit to the desktop.

#include "core/image_block.h"
#include "core/result.h"

#include <cstdint>

namespace pictorand {

// A new block of newWidth x newHeight (values below 1 become 1) whose pixel
// (x, y) is source pixel (x * w / W, y * h / H). Accepts 1, 4, 8 and 24 bits;
// any other depth or a null source fails with BadArgument, a failed
// allocation with OutOfMemory.
Result<ImageBlock> resizeBlock(const ImageBlock& source, int32_t newWidth, int32_t newHeight);

// A new block of newWidth x newHeight (values below 1 become 1) in which
// every output pixel is the area-weighted mean of the source pixels it
// covers, in fixed point with 4096 to one output pixel. Accepts 8 and 24
// bits only (8-bit indices are averaged as they are, which suits grey
// ramps); failures as resizeBlock.
Result<ImageBlock> resampleBlock(const ImageBlock& source, int32_t newWidth, int32_t newHeight);

struct PictureSize {
    int32_t width = 0;
    int32_t height = 0;
    friend bool operator==(const PictureSize&, const PictureSize&) = default;
};

// The area a fitted picture may take: the full-screen client area less a
// 6-pixel margin, and less the menu bar as well in height.
PictureSize availableDesktopArea(int32_t clientWidth, int32_t clientHeight, int32_t menuBarHeight);

// The size that fills `available` as far as the aspect ratio of
// width x height allows; small pictures are enlarged as well as large ones
// reduced. A square picture takes the available height both ways.
PictureSize bestFitToDesktop(int32_t width, int32_t height, PictureSize available);

// The size dialog's aspect lock: the height that goes with newWidth for a
// picture of width x height, rounded half up (and the width that goes with a
// height, by symmetry). A zero width or height gives the value unchanged.
int32_t lockedHeightForWidth(int32_t newWidth, int32_t width, int32_t height);
int32_t lockedWidthForHeight(int32_t newHeight, int32_t width, int32_t height);

} // namespace pictorand
