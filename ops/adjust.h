#pragma once
// Tonal and colour adjustments. One rule throughout: a paletted block (1, 4
// or 8 bits) changes only in its colour table, a true-colour block in every
// pixel. Only greyscale of a true-colour block changes the depth.

#include "core/image_block.h"
#include "core/result.h"

#include <array>
#include <cstdint>

namespace pictorand {

// grey = trunc(0.11 * blue + 0.59 * green + 0.30 * red), in double precision
// and in that order.
uint8_t greyValue(uint8_t red, uint8_t green, uint8_t blue);

// A paletted block has its colour table made grey in place; a true-colour
// block is replaced by a new 8-bit block with a grey ramp. Fails, with
// `block` untouched, when the block is unusable (BadArgument) or the new
// block cannot be had (OutOfMemory).
Status greyscale(ImageBlock& block);

// Every colour-table entry, or every pixel byte, replaced by 255 - value.
// Fails (block untouched) for an unusable block.
Status negative(ImageBlock& block);

// The five channel permutations of the image menu, named for where red,
// green and blue go ("RGB -> BRG": new red = old green, new green = old blue,
// new blue = old red).
enum class ChannelSwap { RBG, BGR, BRG, GRB, GBR };
// In place, through the colour table or every pixel.
Status swapChannels(ImageBlock& block, ChannelSwap swap);

// Adjusted duplicates of `block` (the source is left as it was); BadArgument
// when the block is unusable or the value out of range, OutOfMemory when the
// duplicate cannot be had.
// Brightness: v + offset, offset -255 .. 255.
Result<ImageBlock> adjustBrightness(const ImageBlock& block, int offset);
// Contrast: v + step for v >= 128, v - step below, step -128 .. 128.
Result<ImageBlock> adjustContrast(const ImageBlock& block, int step);
// Gamma: gammaTable(gamma)[v], gamma 0.01 .. 6.99.
Result<ImageBlock> adjustGamma(const ImageBlock& block, double gamma);

inline constexpr int kMaxBrightness = 255;
inline constexpr int kMaxContrast = 128;
inline constexpr double kMinGamma = 0.01;
inline constexpr double kMaxGamma = 6.99;
// True for gamma values in kMinGamma .. kMaxGamma (with the slack the dialog's
// position * 0.01 needs).
bool isGammaInRange(double gamma);

// Entry i = trunc((i / 255)^(1 / gamma) * 255 + 0.5), in double precision.
std::array<uint8_t, 256> gammaTable(double gamma);

// Sets colour-table entry `index` of a paletted block. BadArgument when
// there is no such entry.
Status setPaletteEntry(ImageBlock& block, uint32_t index, uint8_t red, uint8_t green, uint8_t blue);

} // namespace pictorand
