#pragma once
// PC Paintbrush (PCX) files: one plane of 1, 4 or 8 bits, four 1-bit planes
// (16 colours) or three 8-bit planes (true colour), run-length encoded or
// not. The writer makes version 5 run-length files from 1-, 4-, 8- and
// 24-bit blocks.

#include "core/image_block.h"

#include <cstdint>
#include <span>
#include <string>

namespace pictorand {

// Reads a PCX file. `compression` becomes "Run Length Encoding" or "None";
// on failure `message` holds the reason.
ImageBlock readPcx(const std::string& path, std::string& message, std::string& compression);
// The same over the bytes of a whole file.
ImageBlock decodePcx(std::span<const uint8_t> file, std::string& message, std::string& compression);

// Writes a 1-, 4-, 8- or 24-bit block; false for other blocks and on any
// failure to write.
bool writePcx(const std::string& path, const ImageBlock& block);

} // namespace pictorand
