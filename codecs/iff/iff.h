#pragma once
// IFF pictures: FORM ILBM bitplane images and FORM PBM chunky images,
// uncompressed or ByteRun1. 1 to 8 planes give 1-, 4- or 8-bit blocks with a
// colour table (extra-half-brite included), 24 planes a 24-bit block, and
// hold-and-modify pictures (HAM6, HAM8 and sliced HAM) are expanded to 24
// bits. There is no writer.

#include "core/codec_registry.h"
#include "core/fault_texts.h"
#include "core/image_block.h"
#include "core/result.h"

#include <cstdint>
#include <span>

#include <string>

namespace pictorand {

// The IFF codec's words for what it could not do (core/fault_texts.h).
enum class IffFault { NotValid };

inline constexpr auto kIffTexts = faultTexts<IffFault>({
    {IffFault::NotValid, "Not a valid IFF file"},
});
static_assert(kIffTexts.sound());

// The widest and tallest picture accepted.
inline constexpr uint32_t kIffMaxDimension = 10000;

// The FORM header: the first 12 bytes of the file.
struct IffFormHeader {
    bool chunky = false; // FORM PBM: one byte per pixel instead of bitplanes
};
Result<IffFormHeader> checkIffFormHeader(std::span<const uint8_t> file);

// The BMHD chunk's data.
struct IffBitmapHeader {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t planes = 0;
    uint8_t masking = 0;
    uint8_t compression = 0; // 0 none, 1 ByteRun1
};
// Checks a BMHD chunk: complete, a known compression, a size within the
// limit, and planes a block can be made of (8 for chunky pictures). Refusals
// are in the reader's words.
Result<IffBitmapHeader> checkIffBitmapHeader(std::span<const uint8_t> chunk, bool chunky);

// Reads an IFF file; the compression is "None" or "Run Length Encoding".
// When the body ends early the picture has the rows decoded so far and the
// warning says "Can't read data !".
Result<DecodedImage> readIff(const std::string& path);

} // namespace pictorand
