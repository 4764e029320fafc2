#pragma once
// GIF87a/89a: the image reader, the frame scanner that finds the images of a
// multi-image file, and the GIF89a writer.

#include "core/codec_registry.h"
#include "core/fault_texts.h"
#include "core/frame_info.h"
#include "core/image_block.h"
#include "core/result.h"

#include <span>

#include <cstdint>
#include <string>

namespace pictorand {

// The GIF codec's words for what it could not do (core/fault_texts.h).
enum class GifFault { NotValid };

inline constexpr auto kGifTexts = faultTexts<GifFault>({
    {GifFault::NotValid, "This is not a valid GIF file !"},
});
static_assert(kGifTexts.sound());

// The most images (and graphic control extensions) the viewer keeps track of.
inline constexpr int kGifFrameCapacity = 1000;

// The signature and logical screen descriptor.
struct GifHeader {
    uint16_t screenWidth = 0;
    uint16_t screenHeight = 0;
    bool globalTable = false;
    unsigned tableSizeField = 0; // a table of 2^(field+1) entries
    uint8_t backgroundIndex = 0;
};

// Checks the first 13 bytes of a file. Refusals are in the reader's words.
Result<GifHeader> checkGifHeader(std::span<const uint8_t> file);

// Decodes one image of a GIF file into a 1-, 4- or 8-bit block. Parsing
// starts at the control offset when it is above 0, else at the image offset
// when that is above 0, else after the header and global colour table; the
// first image met is decoded. The frame info gets the image's position, the
// background colour and the values of the last graphic control extension
// before it.
Result<DecodedImage> readGif(const std::string& path, const GifReadOptions& options = {});

// Walks the file once and records the offsets of up to `capacity` images
// (their 0x2C separators) and of up to `capacity` graphic control extensions
// (their 0x21 introducers); further extensions are dropped. The canvas is
// the largest left + width and top + height over the recorded images. Returns
// the number of images recorded; CantOpenFile when the file cannot be
// opened. The caller zeroes both lists.
Result<int> scanGifFile(const std::string& path, uint32_t* controlOffsets, uint32_t* imageOffsets, int capacity,
                int& canvasWidth, int& canvasHeight);

// The number of images scanGifFile finds with the viewer's capacity.
Result<int> countGifImages(const std::string& path);

// Writes a 1-, 4- or 8-bit block as a single-image GIF89a file, the colour
// table global or local, optionally interlaced, with a transparent index
// (-1 for none). Any other depth fails (after creating the file, which stays
// empty).
Status writeGif(const std::string& path, const ImageBlock& block, bool globalTable, bool interlaced,
              int transparentIndex);

} // namespace pictorand
