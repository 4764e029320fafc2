#pragma once
// HEIC through libheif (HEVC through libde265). libheif applies the file's
// clean aperture, rotation and mirror properties itself, so the pixels come
// out upright and the EXIF orientation some phones also store is never
// applied on top. Files with the generic "mif1" brand come here too; AV1 ones
// among them decode just as well.

#include "codecs/common/library_pixels.h"
#include "core/codec_registry.h"
#include "core/fault_texts.h"

#include <cstdint>
#include <span>
#include <string>

namespace pictorand {

// The HEIC codec's words for what it could not do (core/fault_texts.h).
enum class HeifFault { NotValid };

inline constexpr auto kHeifTexts = faultTexts<HeifFault>({
    {HeifFault::NotValid, "Not a valid HEIC file"},
});
static_assert(kHeifTexts.sound());

Result<DecodedImage> readHeif(const std::string& path, const LibraryReadOptions& options = {});
Result<DecodedImage> readHeifFromMemory(std::span<const uint8_t> file, const LibraryReadOptions& options = {});

} // namespace pictorand
