#pragma once
// HEIC through libheif (HEVC through libde265). libheif applies the file's
// clean aperture, rotation and mirror properties itself, so the pixels come
// out upright and the EXIF orientation some phones also store is never
// applied on top. Files with the generic "mif1" brand come here too; AV1 ones
// among them decode just as well.

#include "core/codec_registry.h"

#include <cstdint>
#include <span>
#include <string>

namespace pictorand {

Result<DecodedImage> readHeif(const std::string& path);
Result<DecodedImage> readHeifFromMemory(std::span<const uint8_t> file);

} // namespace pictorand
