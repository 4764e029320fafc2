#include "core/image_block.h"

#include "core/byte_order.h"
#include "core/checked_size.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace pictorand {

ImageBlock ImageBlock::allocate(uint64_t bytes)
{
    ImageBlock block;
    if (bytes == 0 || bytes > kMaxBlockBytes)
        return block;
    block.m_buffer = LargeBuffer::allocate(static_cast<size_t>(bytes));
    return block;
}

ImageBlock ImageBlock::allocateForOverwrite(uint64_t bytes)
{
    ImageBlock block;
    if (bytes == 0 || bytes > kMaxBlockBytes)
        return block;
    block.m_buffer = LargeBuffer::allocateForOverwrite(static_cast<size_t>(bytes));
    return block;
}

std::optional<uint64_t> ImageBlock::sizeFor(int64_t width, int64_t height, uint32_t bitCount, uint64_t colorsUsed)
{
    if (width < 0 || height < 0 || colorsUsed > kMaxBlockBytes / 4)
        return std::nullopt;
    auto row = dibRowSize(static_cast<uint64_t>(width), bitCount);
    if (!row)
        return std::nullopt;
    return checkedMulAdd(*row, static_cast<uint64_t>(height), kHeaderSize + 4 * colorsUsed);
}

uint64_t ImageBlock::rowSizeFor(uint32_t width, uint32_t bitCount)
{
    return ((uint64_t(width) * bitCount + 31) / 32) * 4;
}

namespace {

ImageBlock createWith(ImageBlock (*allocator)(uint64_t), int32_t width, int32_t height, uint16_t bitCount,
                      uint32_t colorsUsed)
{
    auto bytes = ImageBlock::sizeFor(width, height, bitCount, colorsUsed);
    if (!bytes)
        return {};
    ImageBlock block = allocator(*bytes);
    if (!block)
        return block;
    // Zero already from allocate; from allocateForOverwrite, another
    // picture's.
    std::memset(block.data(), 0, ImageBlock::kHeaderSize + uint64_t(4) * colorsUsed);
    block.setHeaderSize(ImageBlock::kHeaderSize);
    block.setWidth(width);
    block.setHeight(height);
    block.setPlanes(1);
    block.setBitCount(bitCount);
    block.setColorsUsed(colorsUsed);
    return block;
}

} // namespace

ImageBlock ImageBlock::create(int32_t width, int32_t height, uint16_t bitCount, uint32_t colorsUsed)
{
    return createWith(allocate, width, height, bitCount, colorsUsed);
}

ImageBlock ImageBlock::createForRows(int32_t width, int32_t height, uint16_t bitCount, uint32_t colorsUsed)
{
    ImageBlock block = createWith(allocateForOverwrite, width, height, bitCount, colorsUsed);
    if (!block)
        return block;
    // A last byte only partly the row's is cleared too: readers that set
    // pixels of fewer than 8 bits one at a time leave the rest of it alone.
    const uint64_t used = uint64_t(width) * bitCount / 8;
    const uint64_t rowBytes = block.rowSize();
    if (used < rowBytes)
        for (int32_t y = 0; y < height; ++y)
            std::memset(block.row(y) + used, 0, rowBytes - used);
    return block;
}

void ImageBlock::clearRowsFrom(int32_t topRow)
{
    const int32_t rows = height() - std::max(topRow, 0);
    if (rows > 0)
        std::memset(pixels(), 0, rowSize() * static_cast<uint64_t>(rows)); // the bottom rows come first
}

uint64_t ImageBlock::rowSize() const
{
    int32_t w = width();
    return w < 0 ? 0 : rowSizeFor(static_cast<uint32_t>(w), bitCount());
}

bool ImageBlock::isConsistent() const
{
    if (isNull() || size() < kHeaderSize)
        return false;
    auto needed = sizeFor(width(), height(), bitCount(), colorsUsed());
    return needed && *needed <= size();
}

void ImageBlock::setColor(uint32_t index, uint8_t red, uint8_t green, uint8_t blue)
{
    assert(index < colorsUsed());
    ColorEntry& entry = colorTable()[index];
    entry.blue = blue;
    entry.green = green;
    entry.red = red;
    entry.reserved = 0;
}

uint32_t ImageBlock::u32(size_t offset) const
{
    assert(size() >= offset + 4);
    return loadLE32(data() + offset);
}

uint16_t ImageBlock::u16(size_t offset) const
{
    assert(size() >= offset + 2);
    return loadLE16(data() + offset);
}

void ImageBlock::setU32(size_t offset, uint32_t v)
{
    assert(size() >= offset + 4);
    storeLE32(data() + offset, v);
}

void ImageBlock::setU16(size_t offset, uint16_t v)
{
    assert(size() >= offset + 2);
    storeLE16(data() + offset, v);
}

uint64_t ImageBlock::fingerprint() const
{
    // FNV-1a over 8-byte words, mixed at the end: fast enough for a photo
    // (tens of milliseconds), and only compared with itself.
    const uint8_t* bytes = data();
    const uint64_t size = m_buffer.size();
    uint64_t hash = 0xcbf29ce484222325u ^ size;
    uint64_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t word;
        std::memcpy(&word, bytes + i, 8);
        hash = (hash ^ word) * 0x100000001b3u;
    }
    for (; i < size; ++i)
        hash = (hash ^ bytes[i]) * 0x100000001b3u;
    hash ^= hash >> 33;
    hash *= 0xff51afd7ed558ccdu;
    return hash ^ (hash >> 33);
}

} // namespace pictorand
