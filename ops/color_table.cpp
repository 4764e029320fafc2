#include "ops/color_table.h"

#include "core/byte_order.h"
#include "core/checked_size.h"

#include <cstring>

namespace pictorand {

namespace {
uint32_t colorsForBitCount(uint32_t bits)
{
    switch (bits) {
    case 1:
        return 2;
    case 4:
        return 16;
    case 8:
        return 256;
    default:
        return 0;
    }
}
}

uint32_t colorCount(const ImageBlock& block)
{
    if (block.isNull() || block.size() < 12)
        return 0;
    if (block.headerSize() != ImageBlock::kHeaderSize)
        return colorsForBitCount(loadLE16(block.data() + 10)); // core header: bit count at 10
    if (block.size() >= ImageBlock::kHeaderSize && block.colorsUsed() != 0)
        return block.colorsUsed();
    return colorsForBitCount(block.bitCount());
}

uint32_t colorTableSize(const ImageBlock& block) { return colorCount(block) * 4; }

uint64_t pixelDataStart(const ImageBlock& block)
{
    return block.isNull() ? 0 : uint64_t(block.headerSize()) + colorTableSize(block);
}

Result<ImageBlock> duplicateBlock(const ImageBlock& block)
{
    if (block.isNull() || block.size() < ImageBlock::kHeaderSize || block.height() < 0 || block.width() < 0)
        return badArgument();
    uint64_t rowWords = block.rowSize() / 4;
    auto words = checkedMulAdd(rowWords, static_cast<uint64_t>(block.height()), block.colorsUsed());
    if (!words)
        return badArgument();
    auto bytes = checkedMulAdd(*words, 4, ImageBlock::kHeaderSize);
    if (!bytes || *bytes > block.size())
        return badArgument();
    ImageBlock copy = ImageBlock::allocate(*bytes);
    if (!copy)
        return outOfMemory();
    std::memcpy(copy.data(), block.data(), static_cast<size_t>(*bytes));
    return copy;
}

} // namespace pictorand
