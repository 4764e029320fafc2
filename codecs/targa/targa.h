#pragma once
// Truevision Targa files: colour-mapped (types 1 and 9), true-colour (2 and
// 10) and greyscale (3 and 11), uncompressed or run-length encoded.
// Colour-mapped and greyscale files become 8-bit blocks, true-colour files of
// 15, 16, 24 or 32 bits 24-bit blocks (alpha is dropped).

#include "core/image_block.h"

#include <cstdint>
#include <span>
#include <string>

namespace pictorand {

// Reads a Targa file. `compression` becomes "None" or "Run Length Encoding";
// on failure `message` holds the reason.
ImageBlock readTarga(const std::string& path, std::string& message, std::string& compression);
// The same over the bytes of a whole file.
ImageBlock decodeTarga(std::span<const uint8_t> file, std::string& message, std::string& compression);

} // namespace pictorand
