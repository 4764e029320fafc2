#pragma once
// Windows icon files (.ico, resource type 1). An icon file holds one or more
// images; each is either a bitmap (info header, colour table, colour rows
// and a 1-bit transparency mask, with the header's height doubled) or, in
// newer files, a complete PNG file. Bitmap images are turned into a bitmap
// file in memory and read by the BMP reader, so an icon image decodes to
// exactly what that reader makes of it; PNG images go through the PNG
// reader. Transparent pixels come out white either way; 32-bit bitmap
// images with opacity in their fourth bytes are composited over white.

#include "core/codec_registry.h"
#include "core/fault_texts.h"
#include "core/image_block.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace pictorand {

// The icon codec's words for what it could not do (core/fault_texts.h).
enum class IconFault { CantOpen, BadHeader, NoMemory, ShortRead, BadSeek, NoImages, ImageTooSmall, NoPixels, BadPng, NoSuchImage, TooLarge };

inline constexpr auto kIconTexts = faultTexts<IconFault>({
    {IconFault::CantOpen, "Error opening file for reading"},
    {IconFault::BadHeader, "Error reading file header"},
    {IconFault::NoMemory, "Error allocating memory"},
    {IconFault::ShortRead, "Error reading file"},
    {IconFault::BadSeek, "Error seeking in file"},
    {IconFault::NoImages, "The icon file holds no images"},
    {IconFault::ImageTooSmall, "Icon image data too small for the header, colour table and rows it declares"},
    {IconFault::NoPixels, "Icon image has no pixels"},
    {IconFault::BadPng, "Icon image holds no valid PNG header"},
    {IconFault::NoSuchImage, "The icon file holds no image with that number"},
    {IconFault::TooLarge, "Icons can't be larger than 256 x 256 pixels"},
});
static_assert(kIconTexts.sound());

// The largest side an icon image can have.
inline constexpr int32_t kLargestIconSide = 256;

// One image of an icon file, located inside the file's bytes.
struct IconImage {
    int32_t width = 0;
    int32_t height = 0;    // the icon height: half the info header's height
    uint32_t bitCount = 0; // bits per pixel as the image's header says
    bool isPng = false;
    std::span<const uint8_t> data; // the image's bytes in the file
    // Bitmap images only: where the parts lie inside `data`.
    uint64_t colorTableEntries = 0;
    uint64_t colorRowsOffset = 0;
    uint64_t maskRowsOffset = 0;
    uint64_t colorStride = 0;
    uint64_t maskStride = 0;
    bool hasMask = true; // false only for 32-bit images stored without one
};

// The bytes of an icon file and its images, every image checked to lie
// inside the file and to hold what its header declares.
struct IconList {
    std::vector<uint8_t> bytes;
    std::vector<IconImage> images;
};

// The lines the chooser lists, one per image: "%d x %d  -  %d colors" for
// depths below 16, "%d x %d  -  True color" otherwise.
std::vector<std::string> iconChooserLines(const IconList& list);

// The 6-byte directory header.
struct IconHeader {
    uint16_t imageCount = 0;
};

// Checks the directory header at the start of a file's bytes: reserved 0,
// resource type 1 (icons, not cursors), at least one image and the whole
// directory present. Refusals are in the reader's words.
Result<IconHeader> checkIconHeader(std::span<const uint8_t> file);

// Parses icon file bytes.
Result<IconList> parseIconFile(std::vector<uint8_t> bytes);

// Decodes one image of a parsed list, transparent pixels white.
Result<ImageBlock> decodeIconImage(const IconList& list, size_t index);

// The reader the dispatchers call: the image at `options.index` when that is
// 0 or more, else the one the chooser picks when there is a chooser and more
// than one image, else the first.
// keepAlpha: DecodedImage::alpha holds the image's opacity.
Result<DecodedImage> readIcon(const std::string& path, const IconReadOptions& options = {}, bool keepAlpha = false);

// Writes the block as a one-image icon: 1-bit blocks become a pure mask
// (pixels of value 1 transparent), other depths are fully opaque. No depth
// conversion happens.
Status writeIcon(const std::string& path, const ImageBlock& block);

} // namespace pictorand
