#pragma once
// Windows and OS/2 bitmap files: the program's native format.

#include "core/codec_registry.h"
#include "core/fault_texts.h"
#include "core/image_block.h"
#include "core/result.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace pictorand {

// The BMP codec's words for what it could not do (core/fault_texts.h).
enum class BmpFault { NotValid, CantReadHeader, UnsupportedCompression, CantWriteHeader };

inline constexpr auto kBmpTexts = faultTexts<BmpFault>({
    {BmpFault::NotValid, "Not a valid BMP file"},
    {BmpFault::CantReadHeader, "Not a valid BMP file, can't read header"},
    {BmpFault::UnsupportedCompression, "Can't read data, unsupported compression !"},
    {BmpFault::CantWriteHeader, "Can't write file header"},
});
static_assert(kBmpTexts.sound());

// What the file and info headers say, in the terms the pixel stage needs.
struct BmpHeader {
    uint32_t infoSize = 0;
    bool os2 = false;
    int32_t width = 0;
    int32_t heightField = 0; // as stored; negative for top-down rows
    uint16_t bitCount = 0;
    uint32_t compression = 0; // 0 none, 1 RLE8, 2 RLE4, 3 bit fields, 6 bit fields with alpha
    // Bit fields (16 and 32 bits): where red, green, blue and alpha lie in a
    // pixel; an alpha mask of 0 means no alpha.
    uint32_t masks[4] = {};
    uint32_t pixelOffset = 0;
    uint64_t headerEnd = 0;    // file offset just past the info header
    uint32_t tableEntries = 0; // entries to take from the file
    uint32_t entrySize = 4;
};

// Checks the file header and the info header at the start of a file's
// bytes: the "BM" type, an info header size this reader knows, complete
// fields and a picture of at least one pixel. Refusals are in the reader's
// words.
Result<BmpHeader> checkBmpHeader(std::span<const uint8_t> head);

// Reads a BMP file, or a packed bitmap saved without its file header (a
// headerless .dib), which is given one by bmpFileFromDib; the compression is "None", "Run Length Encoding, RLE8",
// "Run Length Encoding, RLE4", "Bit fields" or "None - OS/2 BMP". Bit-field
// pictures come out at 24 bits, over white where they have alpha;
// keepAlpha: that alpha also as DecodedImage::alpha.
Result<DecodedImage> readBmp(const std::string& path, bool keepAlpha = false);
// The same over bytes already in memory (the icon reader builds a bitmap file
// in memory and reads it here), packed bitmaps included.
Result<DecodedImage> readBmpFromMemory(std::span<const uint8_t> file, bool keepAlpha = false);
// The bitmap file of a packed device-independent bitmap, as the clipboard
// hands one over: info header (any size the reader knows; a 40-byte header
// with bit fields has its masks after it), colour table (colours-used
// entries, or the depth's full table when that field is 0), then the rows.
// The file header is put in front with the pixel offset these imply, so the
// reader checks the rest as it checks any file.
Result<std::vector<uint8_t>> bmpFileFromDib(std::span<const uint8_t> dib);
// Writes the block as it stands behind a 14-byte file header.
Status writeBmp(const std::string& path, const ImageBlock& block);

} // namespace pictorand
