#pragma once
// Blocks the operations make from a source block.

#include "core/image_block.h"

#include <cstdint>
#include <cstring>

namespace pictorand {

// True for a block an operation may read: header and rows inside the
// allocation, positive width and height.
inline bool isUsableBlock(const ImageBlock& block)
{
    return block.isConsistent() && block.headerSize() == ImageBlock::kHeaderSize && block.width() > 0
        && block.height() > 0;
}

// A zero-filled block of width x height at `bitCount` with the source's
// resolutions, its colours-used value and its colour table copied entry by
// entry. Null when it cannot be had.
inline ImageBlock makeDerivedBlock(const ImageBlock& source, int32_t width, int32_t height, uint16_t bitCount)
{
    ImageBlock block = ImageBlock::create(width, height, bitCount, source.colorsUsed());
    if (!block)
        return block;
    block.setXPelsPerMeter(source.xPelsPerMeter());
    block.setYPelsPerMeter(source.yPelsPerMeter());
    if (source.colorsUsed())
        std::memcpy(block.colorTable(), source.colorTable(), size_t(4) * source.colorsUsed());
    return block;
}

// Entries of the colour table an adjustment may change: the 2^bits entries a
// paletted block can index, but never more than the table actually holds
// (a reader may write a short table, and the entries past it are pixels).
inline uint32_t adjustableColorEntries(const ImageBlock& block)
{
    uint32_t bits = block.bitCount();
    if (bits != 1 && bits != 4 && bits != 8)
        return 0;
    uint32_t indexable = uint32_t(1) << bits;
    return block.colorsUsed() < indexable ? block.colorsUsed() : indexable;
}

} // namespace pictorand
