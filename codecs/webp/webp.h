#pragma once
// WebP through libwebp. The reader takes lossy, lossless and extended files;
// an animation shows its first frame as the canvas holds it after that frame.
// Alpha is composited over white. The writer writes lossy files at the JPEG
// quality setting, and lossless ones when that setting is 100.

#include "core/codec_registry.h"
#include "core/fault_texts.h"
#include "core/image_block.h"

#include <cstdint>
#include <span>
#include <string>

namespace pictorand {

// The WebP codec's words for what it could not do (core/fault_texts.h).
enum class WebpFault { NotValid, UnsupportedDepth, TooLarge, LibraryMismatch, EncodingFailed };

inline constexpr auto kWebpTexts = faultTexts<WebpFault>({
    {WebpFault::NotValid, "Not a valid WebP file"},
    {WebpFault::UnsupportedDepth, "Unsupported color depth"},
    {WebpFault::TooLarge, "WebP pictures are at most 16383 pixels wide and high"},
    {WebpFault::LibraryMismatch, "WebP library mismatch"},
    {WebpFault::EncodingFailed, "WebP encoding failed"},
});
static_assert(kWebpTexts.sound());

// WebP stores each dimension in 14 bits.
inline constexpr int32_t kWebpMaxDimension = 16383;

// keepAlpha: DecodedImage::alpha holds the opacity of a picture with alpha.
Result<DecodedImage> readWebp(const std::string& path, bool keepAlpha = false);
Result<DecodedImage> readWebpFromMemory(std::span<const uint8_t> file, bool keepAlpha = false);

// Every frame of an animation, composed on its canvas; no frames for a
// still picture.
Result<ComposedAnimation> readWebpAnimation(const std::string& path, const AnimationLimits& limits);
Result<ComposedAnimation> readWebpAnimationFromMemory(std::span<const uint8_t> file, const AnimationLimits& limits);
// True when the file is an extended WebP whose animation flag is set.
bool webpDeclaresAnimation(const std::string& path);

// Writes a 1-, 4-, 8- or 24-bit block.
Status writeWebp(const std::string& path, const ImageBlock& block, const WebpWriteOptions& options);

} // namespace pictorand
