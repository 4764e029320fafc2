#include "codecs/common/alpha_composite.h"

#include <algorithm>
#include <cstring>

namespace pictorand {

void compositeRgbaOverWhite(const uint8_t* rgba, uint8_t* bgr, size_t pixels)
{
    for (size_t i = 0; i < pixels; ++i, rgba += 4, bgr += 3) {
        const uint8_t alpha = rgba[3];
        bgr[0] = overWhite(rgba[2], alpha);
        bgr[1] = overWhite(rgba[1], alpha);
        bgr[2] = overWhite(rgba[0], alpha);
    }
}

void compositeBgrOverWhite(uint8_t* bgr, const uint8_t* alpha, size_t pixels)
{
    for (size_t i = 0; i < pixels; ++i, bgr += 3) {
        for (int c = 0; c < 3; ++c)
            bgr[c] = overWhite(bgr[c], alpha[i]);
    }
}

ImageBlock createAlphaPlane(int32_t width, int32_t height)
{
    ImageBlock plane = ImageBlock::create(width, height, 8, 256);
    if (!plane)
        return plane;
    for (uint32_t i = 0; i < 256; ++i)
        plane.setColor(i, static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i));
    std::memset(plane.pixels(), 255, plane.size() - plane.pixelOffset());
    return plane;
}

ImageBlock alphaOfPalettedBlock(const ImageBlock& block, std::span<const uint8_t> entryAlpha)
{
    const int bits = block.bitCount();
    if (!block || (bits != 1 && bits != 4 && bits != 8))
        return {};
    uint8_t opacity[256];
    std::fill(std::begin(opacity), std::end(opacity), uint8_t{255});
    std::copy_n(entryAlpha.begin(), std::min<size_t>(entryAlpha.size(), 256), opacity);
    if (std::all_of(std::begin(opacity), std::end(opacity), [](uint8_t a) { return a == 255; }))
        return {};
    ImageBlock plane = createAlphaPlane(block.width(), block.height());
    if (!plane)
        return plane;
    const int perByte = 8 / bits;
    const unsigned mask = (1u << bits) - 1;
    for (int32_t y = 0; y < block.height(); ++y) {
        const uint8_t* in = block.row(y);
        uint8_t* out = plane.row(y);
        for (int32_t x = 0; x < block.width(); ++x) {
            const int shift = 8 - bits * (x % perByte + 1);
            out[x] = opacity[(in[x / perByte] >> shift) & mask];
        }
    }
    return plane;
}

ImageBlock alphaOfFourthBytes(const ImageBlock& block)
{
    if (!block || (block.bitCount() != 32 && block.bitCount() != 64))
        return {};
    ImageBlock plane = createAlphaPlane(block.width(), block.height());
    if (!plane)
        return plane;
    for (int32_t y = 0; y < block.height(); ++y) {
        const uint8_t* in = block.row(y);
        uint8_t* out = plane.row(y);
        for (int32_t x = 0; x < block.width(); ++x)
            out[x] = in[4 * size_t(x) + 3];
    }
    return plane;
}

} // namespace pictorand
