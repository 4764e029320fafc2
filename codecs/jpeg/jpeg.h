#pragma once
// JPEG/JFIF through libjpeg(-turbo): the glue that turns a file into an image
// block and an 8- or 24-bit block into a file. Every library call runs under
// a setjmp/longjmp error manager, so a library error ends the call with the
// library's words instead of ending the program.

#include "core/codec_registry.h"
#include "core/fault_texts.h"
#include "core/image_block.h"

#include <cstdint>
#include <span>
#include <string>

namespace pictorand {

// The JPEG codec's words for what it could not do (core/fault_texts.h).
enum class JpegFault { DataEnded, UnsupportedColourConversion, PartialEdgeBlocks };

inline constexpr auto kJpegTexts = faultTexts<JpegFault>({
    {JpegFault::DataEnded, "Premature end of JPEG file"},
    {JpegFault::UnsupportedColourConversion, "Unsupported color conversion request"},
    {JpegFault::PartialEdgeBlocks, "The picture's sides are not whole JPEG blocks: a lossless turn would trim its edges"},
});
static_assert(kJpegTexts.sound());

struct JpegReadOptions {
    bool loadGreyscale = false; // decode every file as greyscale
    bool quantise256 = false;   // two-pass quantisation to 256 colours (256-colour display)
    int targetWidth = 0;        // > 0: decode at 1/1, 1/4 or 1/8 for a preview of that width
    bool colourProfile = true;  // a CMYK file's embedded CMYK profile turns it into sRGB
    // ... or into the display's colours, when it has a profile (empty: sRGB).
    std::span<const uint8_t> displayProfile;
    int thumbnailSide = 0;      // > 0: decode at the smallest of 1/1 to 1/8 whose longer side reaches it
};

// Reads a JPEG file into an 8-bit (greyscale ramp or quantised colours) or
// 24-bit block.
Result<DecodedImage> readJpeg(const std::string& path, const JpegReadOptions& options = {});

// The scale denominator (1, 4 or 8) a preview of `targetWidth` pixels decodes
// a file `imageWidth` pixels wide at; 1 when no target width is given.
int jpegScaleDenominator(int imageWidth, int targetWidth);
// The scale denominator (1, 2, 4 or 8) at which a picture of imageWidth x
// imageHeight still has a longer side of at least `side` pixels.
int jpegThumbnailDenominator(int imageWidth, int imageHeight, int side);

// Writes an 8- or 24-bit block; refuses other depths.
Status writeJpeg(const std::string& path, const ImageBlock& block, const JpegWriteOptions& options);

} // namespace pictorand
