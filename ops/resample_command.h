#pragma once
// The "Resample image" command's whole rule, shared by the viewer and the
// converter.

#include "core/image_block.h"
#include "core/result.h"

#include <cstdint>

namespace pictorand {

// Resamples `current` to newWidth x newHeight. A paletted picture is expanded
// to true colour first (so colours, not indices, are averaged) and the result
// quantised back: to 256 colours when it had 8 bits, to 16 when it had 1 or 4
// (a two-colour picture comes back with 16). When that quantisation fails
// the true-colour result is returned. Fails as the expansion or the
// resampling does; another depth is a BadArgument.
Result<ImageBlock> resampleCommand(const ImageBlock& current, int32_t newWidth, int32_t newHeight);

} // namespace pictorand
