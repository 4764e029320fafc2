#include "shell/core/pasted_picture.h"

#include <algorithm>
#include <cstring>

namespace pictorand {

ImageBlock withDepthColorCount(ImageBlock block)
{
    if (!block)
        return block;
    const uint16_t bits = block.bitCount();
    uint32_t wanted = block.colorsUsed();
    if (bits == 1 || bits == 4 || bits == 8)
        wanted = uint32_t(1) << bits;
    else if (bits > 8)
        wanted = 0;
    if (wanted == block.colorsUsed())
        return block;
    ImageBlock fresh = ImageBlock::create(block.width(), block.height(), bits, wanted);
    if (!fresh)
        return fresh;
    std::memcpy(fresh.colorTable(), block.colorTable(), 4 * size_t(std::min(wanted, block.colorsUsed())));
    std::memcpy(fresh.pixels(), block.pixels(), block.rowSize() * static_cast<uint64_t>(block.height()));
    fresh.setXPelsPerMeter(block.xPelsPerMeter());
    fresh.setYPelsPerMeter(block.yPelsPerMeter());
    return fresh;
}

} // namespace pictorand
