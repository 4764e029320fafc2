#pragma once
// The raw forms of the portable bitmap family: P4 bitmaps (1-bit blocks),
// P5 greymaps (8-bit blocks with a grey ramp) and P6 pixmaps (24-bit blocks).
// The plain-text forms P1 to P3 are refused. Samples are scaled from the
// file's maximum value to 0-255 by rounding; maxima above 255 store two
// bytes a sample, most significant first.

#include "core/codec_registry.h"
#include "core/fault_texts.h"
#include "core/image_block.h"
#include "core/result.h"

#include <cstdint>
#include <span>
#include <string>

namespace pictorand {

// The PBM, PGM and PPM codec's words for what it could not do (core/fault_texts.h).
enum class PortableFault { BitmapNotValid, BitmapBadHeader, GreymapNotValid, GreymapBadHeader, PixmapNotValid, PixmapBadHeader };

inline constexpr auto kPortableTexts = faultTexts<PortableFault>({
    {PortableFault::BitmapNotValid, "Not a valid PBM file"},
    {PortableFault::BitmapBadHeader, "Not a valid PBM file, can't read header"},
    {PortableFault::GreymapNotValid, "Not a valid PGM file"},
    {PortableFault::GreymapBadHeader, "Not a valid PGM file, can't read header"},
    {PortableFault::PixmapNotValid, "Not a valid PPM file"},
    {PortableFault::PixmapBadHeader, "Not a valid PPM file, can't read header"},
});
static_assert(kPortableTexts.sound());

enum class PortableKind { Bitmap, Greymap, Pixmap }; // P4, P5, P6

struct PortableHeader {
    int32_t width = 0;
    int32_t height = 0;
    size_t dataOffset = 0; // where the samples start
    uint32_t maximum = 1;  // the largest sample value (1 for bitmaps)
};

// Checks the header of a file of the given kind: the magic number, a width
// and height the block can have and (greymaps and pixmaps) a maximum of 1 to
// 65535, each number complete before the file ends. Refusals are in the
// reader's words.
Result<PortableHeader> checkPortableHeader(PortableKind kind, std::span<const uint8_t> file);

// Reads a file of the given kind. The readers give no compression text.
// With `sixteenBitSamples`, a greymap or pixmap of two bytes a sample comes
// as a 48-bit block of its samples scaled to 0-65535, grey in all three
// (DecodedImage::sixteenBitSamples).
Result<DecodedImage> readPortable(PortableKind kind, const std::string& path, bool sixteenBitSamples = false);
// The same over the bytes of a whole file.
Result<DecodedImage> decodePortable(PortableKind kind, std::span<const uint8_t> file, bool sixteenBitSamples = false);

} // namespace pictorand
