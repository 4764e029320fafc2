#pragma once
// Samples of other widths become 8-bit ones by rounding, value * 255 /
// maximum, so the largest value is white (widening by shifting never reaches
// it: five bits shifted by three top out at 248).

#include <cstdint>

namespace pictorand {

// `value` (at most `maximum`, which is above 0) scaled to 0-255, rounded.
inline uint8_t toEightBits(uint64_t value, uint64_t maximum)
{
    return static_cast<uint8_t>((value * 255 + maximum / 2) / maximum);
}

} // namespace pictorand
