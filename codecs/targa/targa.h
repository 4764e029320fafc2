#pragma once
// Truevision Targa files: colour-mapped (types 1 and 9), true-colour (2 and
// 10) and greyscale (3 and 11), uncompressed or run-length encoded.
// Greyscale files (with or without alpha) and files indexing a map with 8
// bits become 8-bit blocks; 16-bit indexes and true-colour files of 15, 16,
// 24 or 32 bits become 24-bit blocks. Maps hold 15-, 16-, 24- or 32-bit
// entries. Alpha, where the file has it, is blended over white.

#include "core/codec_registry.h"
#include "core/fault_texts.h"
#include "core/image_block.h"
#include "core/result.h"

#include <cstdint>
#include <span>
#include <string>

namespace pictorand {

// The Targa codec's words for what it could not do (core/fault_texts.h).
enum class TargaFault { NotValid, BadHeader };

inline constexpr auto kTargaTexts = faultTexts<TargaFault>({
    {TargaFault::NotValid, "Not a valid TGA file"},
    {TargaFault::BadHeader, "Not a valid TARGA file, can't read header"},
});
static_assert(kTargaTexts.sound());

// The 18-byte header.
struct TargaHeader {
    uint8_t idLength = 0;
    uint8_t colorMapType = 0;
    uint8_t imageType = 0;
    uint16_t firstEntry = 0;
    uint16_t colorMapLength = 0;
    uint8_t entrySize = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    uint8_t pixelDepth = 0;
    uint8_t descriptor = 0;

    bool colorMapped() const { return imageType == 1 || imageType == 9; }
    bool greyscale() const { return imageType == 3 || imageType == 11; }
    bool runLength() const { return imageType >= 9; }
    // Descriptor bits 5 and 4 name the corner the first pixel sits in: top
    // or bottom, right or left.
    bool topFirst() const { return (descriptor & 0x20) != 0; }
    bool rightFirst() const { return (descriptor & 0x10) != 0; }
    // Bytes per pixel in the file.
    unsigned pixelBytes() const { return pixelDepth == 15 ? 2 : pixelDepth / 8u; }
    uint16_t blockDepth() const { return (colorMapped() && pixelDepth == 8) || greyscale() ? 8 : 24; }
};

// Checks the header at the start of a file's bytes: complete, at least one
// pixel, and a type, depth and colour map this reader turns into a block.
// Refusals are in the reader's words.
Result<TargaHeader> checkTargaHeader(std::span<const uint8_t> file);

// Reads a Targa file; the compression is "None" or "Run Length Encoding".
Result<DecodedImage> readTarga(const std::string& path);
// The same over the bytes of a whole file.
Result<DecodedImage> decodeTarga(std::span<const uint8_t> file);

} // namespace pictorand
