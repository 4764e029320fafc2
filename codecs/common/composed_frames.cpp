#include "codecs/common/composed_frames.h"

#include "codecs/common/library_pixels.h"

#include <algorithm>
#include <cmath>

namespace pictorand {

bool ComposedFrames::full() const
{
    return m_animation.frames.size() >= static_cast<size_t>(std::max(m_limits.frames, 1))
        || (!m_animation.frames.empty() && m_bytes >= m_limits.bytes);
}

bool ComposedFrames::add(ImageBlock block, int delayMs)
{
    if (!block || block.bitCount() != 24 || full())
        return false;
    // The first frame stands for the file whatever it takes.
    if (!m_animation.frames.empty() && block.size() > m_limits.bytes - m_bytes)
        return false;
    m_bytes += block.size();
    m_animation.frames.push_back({std::move(block), std::clamp(delayMs, 0, kLongestFrameDelayMs)});
    return true;
}

bool ComposedFrames::addRgba(uint32_t width, uint32_t height, const uint8_t* rgba, int delayMs)
{
    if (full())
        return false;
    const SampleLayout layout{4, 8};
    ImageBlock block = createBlockForLayout(width, height, layout);
    if (!block)
        return false;
    for (uint32_t y = 0; y < height; ++y)
        storeTopRow(block, static_cast<int32_t>(y), rgba + size_t(width) * 4 * y, layout);
    return add(std::move(block), delayMs);
}

ComposedAnimation ComposedFrames::take(int loopCount)
{
    m_animation.loopCount = std::max(loopCount, 0);
    m_bytes = 0;
    return std::move(m_animation);
}

int delayMilliseconds(uint64_t numerator, uint64_t denominator)
{
    if (denominator == 0)
        return 0;
    const double ms = static_cast<double>(numerator) * 1000.0 / static_cast<double>(denominator);
    return static_cast<int>(std::lround(std::min(ms, double(kLongestFrameDelayMs))));
}

} // namespace pictorand
