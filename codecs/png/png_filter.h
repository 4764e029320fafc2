#pragma once
// What the PNG filters share in both directions: the writer predicts to
// filter, the reader predicts to undo it.

#include <cstdint>
#include <cstdlib>

namespace pictorand {

// Paeth's predictor: whichever of left, above and above-left is nearest to
// left + above - aboveLeft, ties in that order.
inline uint8_t paethPredictor(uint8_t left, uint8_t above, uint8_t aboveLeft)
{
    const int toLeft = std::abs(int(above) - aboveLeft);
    const int toAbove = std::abs(int(left) - aboveLeft);
    const int toAboveLeft = std::abs(int(left) + above - 2 * aboveLeft);
    if (toLeft <= toAbove && toLeft <= toAboveLeft)
        return left;
    return toAbove <= toAboveLeft ? above : aboveLeft;
}

} // namespace pictorand
