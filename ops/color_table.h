#pragma once
// Colour-table helpers every image routine uses.

#include "core/image_block.h"
#include "core/result.h"

#include <cstdint>

namespace pictorand {

// The block's colours-used field when the header is 40 bytes and the field is
// non-zero; otherwise 2, 16 or 256 for 1, 4 or 8 bits and 0 for any other
// depth. For a 12-byte OS/2 core header the bit count is read from the core
// header and the colours-used field is not looked at.
uint32_t colorCount(const ImageBlock& block);
// colorCount * 4.
uint32_t colorTableSize(const ImageBlock& block);
// Header size + colour-table size.
uint64_t pixelDataStart(const ImageBlock& block);

// A byte copy of 40 + 4 * (colours used + (row size / 4) * height) bytes.
// BadArgument for a block whose header claims more than it holds.
Result<ImageBlock> duplicateBlock(const ImageBlock& block);

} // namespace pictorand
