// The image operations over blocks of any small size, depth and colour-table
// length, with the properties that must hold whatever the pixels are:
// four turns and two flips give the block back, resize and resample give the
// size asked for, adjustments keep the size and depth.
//
// Input: depth selector, operation selector, colours-used, width, height (one
// byte each), new width, new height (one byte each), a parameter byte, then
// the pixel bytes (repeated to fill the block).

#include "ops/adjust.h"
#include "ops/resize.h"
#include "ops/rotate.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

using namespace pictorand;

namespace {

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

std::vector<uint8_t> bytesOf(const ImageBlock& block) { return {block.data(), block.data() + block.size()}; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 8)
        return 0;
    static const uint16_t kDepths[] = {1, 4, 8, 24};
    const uint16_t bits = kDepths[data[0] % 4];
    const unsigned operation = data[1];
    const uint32_t colors = bits == 24 ? 0 : data[2] % ((1u << bits) + 1);
    const int32_t width = data[3] % 64 + 1;
    const int32_t height = data[4] % 64 + 1;
    const int32_t newWidth = data[5] % 96;
    const int32_t newHeight = data[6] % 96;
    const uint8_t parameter = data[7];
    const uint8_t* pixels = data + 8;
    const size_t pixelBytes = size - 8;

    ImageBlock block = ImageBlock::create(width, height, bits, colors);
    if (!block)
        return 0;
    uint8_t* body = block.data() + ImageBlock::kHeaderSize;
    size_t bodySize = block.size() - ImageBlock::kHeaderSize;
    for (size_t i = 0; i < bodySize; ++i)
        body[i] = pixelBytes ? pixels[i % pixelBytes] : 0;

    std::vector<uint8_t> original = bytesOf(block);
    switch (operation % 10) {
    case 0: {
        for (int turn = 0; turn < 4; ++turn) {
            check(((operation & 0x10) ? rotateLeft(block) : rotateRight(block)).ok());
        }
        // Row padding is cleared by a turn, so compare the pixels only.
        ImageBlock reference = ImageBlock::allocate(original.size());
        std::memcpy(reference.data(), original.data(), original.size());
        for (int32_t y = 0; y < height; ++y) {
            size_t used = (size_t(width) * bits) / 8;
            check(std::memcmp(block.row(y), reference.row(y), used) == 0);
        }
        break;
    }
    case 1:
        check(flipHorizontal(block).ok() && flipHorizontal(block).ok());
        check(flipVertical(block).ok() && flipVertical(block).ok());
        if (bits >= 8)
            check(bytesOf(block) == original);
        break;
    case 2: {
        Result<ImageBlock> resized = resizeBlock(block, newWidth, newHeight);
        check(resized && resized->width() == (newWidth < 1 ? 1 : newWidth)
              && resized->height() == (newHeight < 1 ? 1 : newHeight) && resized->bitCount() == bits);
        break;
    }
    case 3: {
        Result<ImageBlock> resampled = resampleBlock(block, newWidth, newHeight);
        check((bits == 8 || bits == 24) == resampled.ok());
        break;
    }
    case 4: {
        check(greyscale(block).ok() && block.width() == width && block.height() == height);
        break;
    }
    case 5:
        check(negative(block).ok() && negative(block).ok() && bytesOf(block) == original);
        break;
    case 6: {
        auto swap = static_cast<ChannelSwap>(parameter % 5);
        check(swapChannels(block, swap).ok());
        if (swap == ChannelSwap::BRG || swap == ChannelSwap::GBR)
            check(swapChannels(block, swap == ChannelSwap::BRG ? ChannelSwap::GBR : ChannelSwap::BRG).ok());
        else
            check(swapChannels(block, swap).ok());
        check(bytesOf(block) == original);
        break;
    }
    case 7: {
        Result<ImageBlock> adjusted = adjustBrightness(block, int(parameter) * 2 - 255);
        check(adjusted && adjusted->size() <= block.size() && bytesOf(block) == original);
        break;
    }
    case 8: {
        Result<ImageBlock> adjusted = adjustContrast(block, int(parameter) - 128);
        check(adjusted && bytesOf(block) == original);
        break;
    }
    default: {
        Result<ImageBlock> adjusted = adjustGamma(block, 0.01 + parameter * (6.98 / 255.0));
        check(adjusted && bytesOf(block) == original);
        break;
    }
    }
    return 0;
}
