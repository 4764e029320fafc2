#pragma once
// Moving a block between bit depths without choosing new colours, and the
// load normalisation of the unusual depths some readers return. Every
// conversion returns a new block and leaves its source as it was; a null
// source or one of another depth than the routine takes fails with
// BadArgument, a failed allocation with OutOfMemory.

#include "core/image_block.h"
#include "core/result.h"

#include <cstdint>

namespace pictorand {

Result<ImageBlock> monoTo16Colors(const ImageBlock& source);      // 1 -> 4 bits, values stay 0 and 1
Result<ImageBlock> sixteenTo256Colors(const ImageBlock& source);  // 4 -> 8 bits
Result<ImageBlock> monoTo256Colors(const ImageBlock& source);     // 1 -> 8 bits, a ramp from entry 0 to entry 1
Result<ImageBlock> colors256ToTrueColor(const ImageBlock& source); // 8 -> 24 bits
Result<ImageBlock> colors16ToTrueColor(const ImageBlock& source);  // 4 -> 8 -> 24 bits
Result<ImageBlock> monoToTrueColor(const ImageBlock& source);      // 1 -> grey 8 -> 24 bits
// Any of 1, 4, 8 bits to 24 bits by the routines above; a 24-bit source is
// duplicated.
Result<ImageBlock> expandToTrueColor(const ImageBlock& source);

// 3, 16, 32, 40, 48 or 64 bits to 24 bits (tests in that order).
// BadArgument for other depths.
Result<ImageBlock> normaliseDepth(const ImageBlock& source);

// A 48-bit block of 16-bit samples (blue, green, red in this machine's
// order, as a reader asked for them gives them) to 24 bits by ordered
// dithering: each sample becomes the level below or above it with the odds
// its remainder gives, so a smooth 16-bit gradient keeps its mean and shows
// no bands. Ordered rather than error diffusion: each pixel is decided
// alone, so the same file always gives the same pixels, rows may be shared
// among threads, and there are no worm-like streaks in flat areas.
Result<ImageBlock> ditherSixteenBitSamples(const ImageBlock& source);

// The increase-depth commands 40093, 40094 and 40095: `current` replaced by
// the deeper block, or left as it is when the command does nothing for its
// depth. Fails, with `current` untouched, for a null or unusable block
// (BadArgument) or when the deeper block cannot be had (OutOfMemory).
enum class IncreaseDepthCommand { To16Colors = 40093, To256Colors = 40094, ToTrueColor = 40095 };
Status increaseDepth(IncreaseDepthCommand command, ImageBlock& current);

// Over a row of bits, most significant first.
void setBit(uint8_t* row, uint32_t index, int value);
int testBit(const uint8_t* row, uint32_t index);

} // namespace pictorand
