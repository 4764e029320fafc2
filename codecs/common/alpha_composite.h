#pragma once
// Blocks have no alpha channel. A picture with one is shown over white, as a
// page would show it, so transparent pixels never reveal whatever colour the
// writer happened to store under them (often black).

#include <cstddef>
#include <cstdint>

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

} // namespace pictorand
