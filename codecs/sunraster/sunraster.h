#pragma once
// Sun raster files: 1, 8 and 24 (and 32) bits per pixel, stored as is
// (types 0, 1 and 3) or byte-run encoded (type 2).

#include "core/codec_registry.h"
#include "core/fault_texts.h"
#include "core/image_block.h"
#include "core/result.h"

#include <cstdint>
#include <span>
#include <string>

namespace pictorand {

// The Sun raster codec's words for what it could not do (core/fault_texts.h).
enum class SunRasterFault { NotValid, UnsupportedCompression };

inline constexpr auto kSunRasterTexts = faultTexts<SunRasterFault>({
    {SunRasterFault::NotValid, "This is not a valid RAS File."},
    {SunRasterFault::UnsupportedCompression, "Unsupported compression !"},
});
static_assert(kSunRasterTexts.sound());

// The 32-byte header.
struct SunHeader {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t depth = 0;
    uint32_t dataLength = 0;
    uint32_t type = 0; // 0, 1, 3 stored as is, 2 byte-run encoded
    uint32_t mapType = 0;
    uint32_t mapLength = 0;

    uint16_t fileDepth() const { return static_cast<uint16_t>(depth & 0xFFFF); }
};

// Checks the header at the start of a file's bytes: complete, the magic
// number, a size a block can have and a depth this reader reads. The type is
// checked later, once the picture's memory is there. Refusals are in the
// reader's words.
Result<SunHeader> checkSunRasterHeader(std::span<const uint8_t> file);

// Reads a Sun raster file; the compression is "Sun Rasterfile - None" or
// "Sun Rasterfile - RLE compressed".
Result<DecodedImage> readSunRaster(const std::string& path);
// The same over the bytes of a whole file.
Result<DecodedImage> decodeSunRaster(std::span<const uint8_t> file);

} // namespace pictorand
