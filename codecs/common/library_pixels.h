#pragma once
// The modern-format libraries (WebP, HEIF/AVIF, JPEG XL) all hand back
// top-down rows of interleaved samples, red first, grey or colour, with or
// without alpha, at 8 or (HEIF/AVIF) 10 to 16 bits. Blocks hold grey
// pictures as 8 bits with a grey ramp, as the PNG and TIFF readers return
// them, and everything else as 24-bit blue-green-red rows bottom-up; alpha is
// composited over white on the way. Deeper samples may instead be kept whole
// for an on-screen load, as 16-bit blue, green and red (grey in all three)
// in a 48-bit block (DecodedImage::sixteenBitSamples).

#include "core/codec_registry.h"
#include "core/image_block.h"
#include "core/result.h"

#include <cstddef>
#include <cstdint>

namespace pictorand {

struct SampleLayout {
    int channels = 3;       // 1 grey, 2 grey + alpha, 3 RGB, 4 RGBA
    int significantBits = 8; // 8, or 9 to 16 for 16-bit little-endian samples
    bool wholeSamples = false; // 9 to 16 bits: scaled to 16 bits in a 48-bit block, not rounded to 8
};

// What a library codec's read is asked for beyond the picture.
struct LibraryReadOptions {
    bool keepAlpha = false; // DecodedImage::alpha holds the opacity of a picture with alpha
    // A picture of more than 8 bits a sample keeps them (ReadRequest::sixteenBitSamples).
    bool sixteenBitSamples = false;
};

inline LibraryReadOptions libraryReadOptions(const ReadRequest& request)
{
    return {.keepAlpha = request.keepAlpha, .sixteenBitSamples = request.sixteenBitSamples};
}

// `layout` keeping whole samples when they are `asked` for and a 48-bit
// block of that size fits (declaredSizeFits); as it is otherwise.
SampleLayout withWholeSamples(SampleLayout layout, bool asked, uint64_t width, uint64_t height);

// True when a picture of that size fits a block however it is turned, and
// the library's buffer of that layout stays within the block limit too.
// Readers ask before the library allocates anything picture-sized.
bool declaredSizeFits(uint64_t width, uint64_t height, const SampleLayout& layout);

// Fuzzing only: pictures of more pixels than this are refused as too big, so
// that a tiny file declaring a legitimately huge canvas does not run into the
// fuzzer's time limit. 0 (the default) leaves only the block limit.
void limitPixelsForFuzzing(uint64_t pixels);
// True when a fuzzing limit is set and width x height exceeds it (readers
// that do not go through `declaredSizeFits` ask this).
bool overPixelLimitForFuzzing(uint64_t width, uint64_t height);

// The failure for a picture over the block limit, in the words every reader uses.
inline Failure tooBigForBlock() { return {Reason::OutOfMemory, kCantAllocateMemory}; }

// The block for the layout: 8-bit with a grey ramp, 24-bit, or 48-bit for
// whole samples; null when it does not fit.
ImageBlock createBlockForLayout(uint32_t width, uint32_t height, const SampleLayout& layout);

// The opacity plane for the block when the reader is asked to keep alpha and
// the layout has it (null otherwise, or when it does not fit).
ImageBlock alphaPlaneFor(const ImageBlock& block, const SampleLayout& layout, bool keepAlpha);

// Converts one picture row (counted from the top) of `width` pixels into the
// block, and its alpha into `alpha` when given (at 8 bits). Samples above 8
// bits are scaled to 8 with rounding, or to 16 for whole samples.
void storeTopRow(ImageBlock& block, int32_t y, const uint8_t* samples, const SampleLayout& layout,
                 ImageBlock* alpha = nullptr);
// The same for `count` pixels of that row from column x (which the caller
// keeps within the row).
void storeTopRowPart(ImageBlock& block, int32_t y, int32_t x, int32_t count, const uint8_t* samples,
                     const SampleLayout& layout, ImageBlock* alpha = nullptr);

} // namespace pictorand
