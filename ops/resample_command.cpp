#include "ops/resample_command.h"

#include "ops/depth_conversion.h"
#include "ops/quantise.h"
#include "ops/resize.h"

#include <utility>

namespace pictorand {

Result<ImageBlock> resampleCommand(const ImageBlock& current, int32_t newWidth, int32_t newHeight)
{
    if (current.isNull())
        return badArgument();
    const uint16_t bits = current.bitCount();
    if (bits == 24)
        return resampleBlock(current, newWidth, newHeight);
    if (bits != 1 && bits != 4 && bits != 8)
        return badArgument();
    Result<ImageBlock> resampled = [&] {
        // Only the true-colour copy and the resampled picture at once, never a
        // third.
        Result<ImageBlock> trueColor = expandToTrueColor(current);
        if (!trueColor)
            return trueColor;
        return resampleBlock(*trueColor, newWidth, newHeight);
    }();
    if (!resampled)
        return resampled;
    Result<ImageBlock> quantised = quantise(*resampled, bits == 8 ? 256 : 16);
    return quantised ? std::move(quantised) : std::move(resampled);
}

} // namespace pictorand
