#pragma once
// Windows and OS/2 bitmap files: the program's native format.

#include "core/codec_registry.h"
#include "core/image_block.h"

#include <cstdint>
#include <span>
#include <string>

namespace pictorand {

// Reads a BMP file. On failure `message` holds the reason; on success
// `compression` holds "None", "Run Length Encoding, RLE8",
// "Run Length Encoding, RLE4" or "None - OS/2 BMP".
ImageBlock readBmp(const std::string& path, std::string& message, std::string& compression);
// The same over bytes already in memory (the icon reader builds a bitmap file
// in memory and reads it here).
ImageBlock readBmpFromMemory(std::span<const uint8_t> file, std::string& message, std::string& compression);
// Writes the block as it stands behind a 14-byte file header.
bool writeBmp(const std::string& path, const ImageBlock& block, std::string& message);

} // namespace pictorand
