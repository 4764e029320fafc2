#pragma once
// PNG through libpng: the reader leaves the pixels as close to the file as an
// image block allows (16-bit samples rounded to 8 unless asked to keep them,
// blue-green-red order) and
// leaves 32-, 48- and 64-bit blocks to the load normalisation; the writer
// turns 1-, 4-, 8-, 24- and 32-bit blocks into palette, RGB or RGBA files.

#include "core/codec_registry.h"
#include "core/fault_texts.h"
#include "core/image_block.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace pictorand {

// The PNG codec's words for what it could not do (core/fault_texts.h).
enum class PngFault { NotValid, TooBig };

inline constexpr auto kPngTexts = faultTexts<PngFault>({
    {PngFault::NotValid, "This is not a valid PNG File !"},
    {PngFault::TooBig, "Sorry!\nThis File is toooo big for me."},
});
static_assert(kPngTexts.sound());

// Interlaced files are decoded whole and refused above this many rows.
inline constexpr uint32_t kPngMaxInterlacedRows = 10000;

// What a PNG read is asked for beyond the picture.
struct PngReadOptions {
    // A 16-bit file comes as a 48-bit block of its 16-bit samples (grey in
    // all three, colour over white as ever), DecodedImage::sixteenBitSamples,
    // instead of rounded to 8.
    bool sixteenBitSamples = false;
    // A file with alpha is rounded all the same, its alpha kept in a 32-bit
    // block for pngAlphaPlane.
    bool keepAlpha = false;
};

// Reads a PNG file.
Result<DecodedImage> readPng(const std::string& path, const PngReadOptions& options = {});
// The same over a PNG already in memory (icon files embed PNG images).
Result<DecodedImage> readPngFromMemory(std::span<const uint8_t> file);
// The opacity of `block`, the picture readPng gave for the file: the alpha
// bytes of a 32- or 64-bit block, or what the file's tRNS chunk says of a paletted
// or shallow grey picture's entries. Null when nothing is transparent. Grey
// pictures with an alpha channel are composited by the reader and keep none.
ImageBlock pngAlphaPlane(const std::string& path, const ImageBlock& block);

// Every frame of an animated PNG (APNG), composed on its canvas, with the
// file's embedded profile; no frames for a still picture, or when fewer than
// two frames could be read.
Result<ComposedAnimation> readApng(const std::string& path, const AnimationLimits& limits);
Result<ComposedAnimation> readApngFromMemory(std::span<const uint8_t> file, const AnimationLimits& limits);

// The first frame of an APNG whose default image (IDAT) is no part of its
// animation, over white (keepAlpha: its opacity in DecodedImage::alpha):
// what players show of it, in place of the image only older readers show.
// Nothing for any other PNG. The file's embedded profile comes in
// DecodedImage::iccProfile, as readPng gives a still picture's.
std::optional<Result<DecodedImage>> readApngFirstFrame(const std::string& path, bool keepAlpha);
// True when an acTL chunk comes before the image data: the file animates.
bool apngDeclaresAnimation(const std::string& path);

// Writes a 1-, 4-, 8-, 24- or 32-bit block, not interlaced.
Status writePng(const std::string& path, const ImageBlock& block);

} // namespace pictorand
