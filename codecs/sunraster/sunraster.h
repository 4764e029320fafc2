#pragma once
// Sun raster files: 1, 8 and 24 (and 32) bits per pixel, stored as is
// (types 0, 1 and 3) or byte-run encoded (type 2).

#include "core/image_block.h"

#include <cstdint>
#include <span>
#include <string>

namespace pictorand {

// Reads a Sun raster file. `compression` becomes "Sun Rasterfile - None" or
// "Sun Rasterfile - RLE compressed"; on failure `message` holds the reason.
ImageBlock readSunRaster(const std::string& path, std::string& message, std::string& compression);
// The same over the bytes of a whole file.
ImageBlock decodeSunRaster(std::span<const uint8_t> file, std::string& message, std::string& compression);

} // namespace pictorand
