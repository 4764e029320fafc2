#pragma once
// IFF pictures: FORM ILBM bitplane images and FORM PBM chunky images,
// uncompressed or ByteRun1. 1 to 8 planes give 1-, 4- or 8-bit blocks with a
// colour table (extra-half-brite included), 24 planes a 24-bit block, and
// hold-and-modify pictures (HAM6, HAM8 and sliced HAM) are expanded to 24
// bits. There is no writer.

#include "core/image_block.h"

#include <string>

namespace pictorand {

// The widest and tallest picture accepted.
inline constexpr uint32_t kIffMaxDimension = 10000;

// Reads an IFF file. On success `compression` holds "None" or
// "Run Length Encoding". When the body ends early the block is returned with
// the rows decoded so far and `message` says "Can't read data !".
ImageBlock readIff(const std::string& path, std::string& message, std::string& compression);

} // namespace pictorand
