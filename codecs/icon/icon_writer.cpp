#include "codecs/common/codec_result.h"
#include "codecs/common/file_reader.h"
#include "codecs/icon/icon.h"
#include "core/byte_order.h"
#include "core/checked_size.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

namespace pictorand {

namespace {

constexpr uint32_t kIconHeaderSize = 6;
constexpr uint32_t kDirectoryEntrySize = 16;

bool writeAll(std::FILE* file, const uint8_t* data, size_t size)
{
    return size == 0 || std::fwrite(data, 1, size, file) == size;
}

} // namespace

Status writeIcon(const std::string& path, const ImageBlock& block)
{
    if (!block || !block.isConsistent())
        return writeFailed();
    const int32_t width = block.width();
    const int32_t height = block.height();
    if (width <= 0 || height <= 0)
        return writeFailed();
    // The directory keeps each size in a byte, 0 meaning 256.
    if (width > kLargestIconSide || height > kLargestIconSide)
        return kIconTexts.failure(Reason::BadDimensions, IconFault::TooLarge);
    const uint32_t bitCount = block.bitCount();
    if (block.planes() != 1 || (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24))
        return Failure{Reason::Unsupported, kUnsupportedBitDepth};
    const uint32_t planes = block.planes();
    const uint32_t colors = block.colorsUsed();
    auto colorStride = dibRowSize(static_cast<uint64_t>(width), uint64_t(planes) * bitCount);
    auto maskStride = dibRowSize(static_cast<uint64_t>(width), 1);
    if (!colorStride || !maskStride || *colorStride != block.rowSize())
        return writeFailed();
    auto rowsBytes = checkedMul(*colorStride + *maskStride, static_cast<uint64_t>(height));
    if (!rowsBytes)
        return writeFailed();
    auto dataSize = checkedAdd(uint64_t(ImageBlock::kHeaderSize) + uint64_t(4) * colors, *rowsBytes);
    if (!dataSize || *dataSize > kMaxBlockBytes)
        return writeFailed();

    std::vector<uint8_t> file;
    try {
        file.assign(kIconHeaderSize + kDirectoryEntrySize + *dataSize, 0);
    } catch (const std::bad_alloc&) {
        return writeFailed();
    }
    storeLE16(&file[2], 1); // type: icon
    storeLE16(&file[4], 1); // one image

    uint8_t* entry = &file[kIconHeaderSize];
    entry[0] = static_cast<uint8_t>(width == kLargestIconSide ? 0 : width);
    entry[1] = static_cast<uint8_t>(height == kLargestIconSide ? 0 : height);
    const uint64_t colorBits = uint64_t(planes) * bitCount;
    entry[2] = colorBits < 8 ? static_cast<uint8_t>(1u << colorBits) : 0;
    storeLE16(&entry[4], static_cast<uint16_t>(planes));
    storeLE16(&entry[6], static_cast<uint16_t>(bitCount));
    storeLE32(&entry[8], static_cast<uint32_t>(*dataSize));
    storeLE32(&entry[12], kIconHeaderSize + kDirectoryEntrySize);

    uint8_t* image = entry + kDirectoryEntrySize;
    const uint64_t tableBytes = uint64_t(4) * colors;
    std::memcpy(image, block.data(), ImageBlock::kHeaderSize + tableBytes);
    storeLE32(&image[8], static_cast<uint32_t>(height) * 2);
    storeLE32(&image[20], 0); // image size
    uint8_t* colorRows = image + ImageBlock::kHeaderSize + tableBytes;
    uint8_t* maskRows = colorRows + *colorStride * static_cast<uint64_t>(height);
    const uint64_t blockRows = block.rowSize() * static_cast<uint64_t>(height);
    if (bitCount == 1) {
        // A monochrome block becomes a pure mask: colour rows all 0 show
        // entry 0, and pixels of value 1 are transparent.
        std::memcpy(maskRows, block.pixels(), blockRows);
    } else {
        std::memcpy(colorRows, block.pixels(), blockRows); // the mask stays 0: fully opaque
    }

    OpenFile out(path, "wb");
    if (!out)
        return writeFailed();
    if (!writeAll(out.get(), file.data(), file.size()))
        return writeFailed();
    if (!out.close())
        return writeFailed();
    return {};
}

} // namespace pictorand
