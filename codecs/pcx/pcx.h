#pragma once
// PC Paintbrush (PCX) files: one plane of 1, 2 (CGA), 4 or 8 bits, two to
// four 1-bit planes (EGA, up to 16 colours) or three or four 8-bit planes
// (true colour; the fourth is alpha, blended over white), run-length encoded
// or not. The writer makes version 5 run-length files from 1-, 4-, 8- and
// 24-bit blocks.

#include "core/codec_registry.h"
#include "core/fault_texts.h"
#include "core/image_block.h"
#include "core/result.h"

#include <array>

#include <cstdint>
#include <span>
#include <string>

namespace pictorand {

// The PCX codec's words for what it could not do (core/fault_texts.h).
enum class PcxFault { NotValid, CantReadPalette };

inline constexpr auto kPcxTexts = faultTexts<PcxFault>({
    {PcxFault::NotValid, "Not a valid PCX file"},
    {PcxFault::CantReadPalette, "Can't read palette"},
});
static_assert(kPcxTexts.sound());

// How the planes of a scan line make up the pixels of a row.
enum class PcxPlaneLayout {
    Packed,     // one plane of 1, 2, 4 or 8 bits
    BitPlanes,  // two to four 1-bit planes, bit k of a pixel from plane k
    BytePlanes, // red, green, blue (and alpha) planes of 8 bits
};

// The 128-byte header and the picture it describes.
struct PcxHeader {
    uint8_t version = 0;
    uint8_t encoding = 0;
    uint8_t bitsPerPixel = 0;
    std::array<uint8_t, 48> colorMap{};
    uint8_t planes = 0;
    uint16_t bytesPerLine = 0;
    int32_t width = 0;
    int32_t height = 0;
    uint16_t depth = 0; // of the block: 1, 4, 8 or 24 (2-bit pictures take 4)
    PcxPlaneLayout layout = PcxPlaneLayout::Packed;
    size_t scanLine = 0; // bytes of all planes of one line
};

// Checks the header at the start of a file's bytes: the manufacturer byte,
// a size of at least one pixel and a plane layout this reader can fill.
// Refusals are in the reader's words.
Result<PcxHeader> checkPcxHeader(std::span<const uint8_t> file);

// Reads a PCX file; the compression is "Run Length Encoding" or "None".
Result<DecodedImage> readPcx(const std::string& path);
// The same over the bytes of a whole file.
Result<DecodedImage> decodePcx(std::span<const uint8_t> file);

// Writes a 1-, 4-, 8- or 24-bit block; false for other blocks and on any
// failure to write.
Status writePcx(const std::string& path, const ImageBlock& block);

} // namespace pictorand
