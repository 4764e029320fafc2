#include "codecs/common/buffered_byte_reader.h"
#include "codecs/common/file_reader.h"
#include "codecs/gif/gif.h"
#include "codecs/gif/gif_format.h"
#include "core/byte_order.h"

#include <algorithm>
#include <vector>

namespace pictorand {

namespace {

// Skips data sub-blocks up to the zero-length one; false when the file ends
// first.
bool skipSubBlocks(BufferedByteReader& input)
{
    for (;;) {
        const int length = input.nextByte();
        if (length < 0)
            return false;
        if (length == 0)
            return true;
        if (!input.skipExactly(static_cast<size_t>(length)))
            return false;
    }
}

} // namespace

Result<int> scanGifFile(const std::string& path, uint32_t* controlOffsets, uint32_t* imageOffsets, int capacity,
                int& canvasWidth, int& canvasHeight)
{
    OpenFile file(path, "rb");
    if (!file)
        return Failure{Reason::CantOpenFile, kCantOpenForReading};
    BufferedByteReader input(file, gif::kReadAhead);
    if (!input)
        return outOfMemory();

    int images = 0;
    int controls = 0;
    int maxRight = 0;
    int maxBottom = 0;
    auto finish = [&] {
        canvasWidth = maxRight;
        canvasHeight = maxBottom;
        return images;
    };

    if (!input.skipExactly(10))
        return finish();
    const int packed = input.nextByte();
    if (packed < 0 || !input.skipExactly(2))
        return finish();
    if ((packed & gif::kColorTableFlag) && !input.skipExactly(3 * (2u << (packed & gif::kColorTableSizeMask))))
        return finish();

    while (!input.atEnd()) {
        const uint64_t offset = input.offset();
        const int byte = input.nextByte();
        if (byte < 0)
            break;
        if (byte == gif::kImageSeparator && images < capacity) {
            imageOffsets[images++] = static_cast<uint32_t>(offset);
            uint8_t descriptor[9];
            if (input.read(descriptor, sizeof(descriptor)) != sizeof(descriptor))
                break;
            maxRight = std::max(maxRight, loadLE16(descriptor) + loadLE16(descriptor + 4));
            maxBottom = std::max(maxBottom, loadLE16(descriptor + 2) + loadLE16(descriptor + 6));
            if ((descriptor[8] & gif::kColorTableFlag)
                && !input.skipExactly(3 * (2u << (descriptor[8] & gif::kColorTableSizeMask))))
                break;
            if (input.nextByte() < 0 || !skipSubBlocks(input))
                break;
        } else if (byte == gif::kExtensionIntroducer) {
            const int label = input.nextByte();
            // Extensions beyond the capacity are dropped: the images they
            // belong to are not recorded either.
            if (label == gif::kGraphicControlLabel && controls < capacity)
                controlOffsets[controls++] = static_cast<uint32_t>(offset);
            if (label < 0 || !skipSubBlocks(input))
                break;
        } else {
            break; // the trailer, an image beyond the capacity, or garbage
        }
    }
    return finish();
}

Result<int> countGifImages(const std::string& path)
{
    std::vector<uint32_t> controls(kGifFrameCapacity);
    std::vector<uint32_t> images(kGifFrameCapacity);
    int width = 0;
    int height = 0;
    return scanGifFile(path, controls.data(), images.data(), kGifFrameCapacity, width, height);
}

} // namespace pictorand
