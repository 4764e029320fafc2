#pragma once
// Blocks have no alpha channel. A picture with one is shown over white, as a
// page would show it, so transparent pixels never reveal whatever colour the
// writer happened to store under them (often black).

#include "core/image_block.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace pictorand {

// One sample over white: (value * alpha + 255 * (255 - alpha)) / 255, rounded.
inline uint8_t overWhite(uint8_t value, uint8_t alpha)
{
    const unsigned mixed = value * unsigned{alpha} + 255u * (255u - alpha);
    return static_cast<uint8_t>((mixed + 127u) / 255u);
}

// `pixels` 4-byte pixels, red first, to 3-byte pixels blue first, over white.
void compositeRgbaOverWhite(const uint8_t* rgba, uint8_t* bgr, size_t pixels);

// `pixels` 3-byte pixels, blended in place over white by a separate alpha.
void compositeBgrOverWhite(uint8_t* bgr, const uint8_t* alpha, size_t pixels);

// An opacity plane for a picture of that size (DecodedImage::alpha): 8 bits
// with a grey ramp, every pixel opaque; null when it does not fit.
ImageBlock createAlphaPlane(int32_t width, int32_t height);

// The opacity of a 1-, 4- or 8-bit block's pixels from their entries'
// (entries past `entryAlpha` are opaque); null when nothing is transparent
// or the plane does not fit.
ImageBlock alphaOfPalettedBlock(const ImageBlock& block, std::span<const uint8_t> entryAlpha);

// The fourth bytes of a 32-bit block's pixels as a plane; of a 64-bit one's
// too, whose readers leave 8-bit blue, green, red and alpha at the front of
// each row.
ImageBlock alphaOfFourthBytes(const ImageBlock& block);

} // namespace pictorand
