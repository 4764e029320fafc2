#pragma once
// The frames of an animation whose library (or reader) composes the canvas:
// each arrives as top-down RGBA rows of the whole canvas, or as a finished
// 24-bit block, and is kept as the player shows it, alpha over white, until
// the frame or byte limit of the animation would be passed.

#include "core/codec_registry.h"

#include <cstdint>

namespace pictorand {

class ComposedFrames {
public:
    explicit ComposedFrames(const AnimationLimits& limits) : m_limits(limits) {}

    // False when the frame was not kept: a limit reached (the frames before
    // it stand) or no memory for it.
    bool addRgba(uint32_t width, uint32_t height, const uint8_t* rgba, int delayMs);
    bool add(ImageBlock block, int delayMs);
    // True once no further frame would be kept.
    bool full() const;
    size_t count() const { return m_animation.frames.size(); }

    ComposedAnimation take(int loopCount);

private:
    AnimationLimits m_limits;
    ComposedAnimation m_animation;
    uint64_t m_bytes = 0;
};

// numerator / denominator seconds in milliseconds, rounded to the nearest
// and held to 0 .. kLongestFrameDelayMs; 0 when the denominator is.
int delayMilliseconds(uint64_t numerator, uint64_t denominator);

} // namespace pictorand
