#pragma once
// AVIF through libavif (AV1 through dav1d), which decoded the benchmark photo
// in about two thirds of libheif's processor time. Unlike libheif, libavif
// hands back the coded pixels: the clean aperture, rotation and mirror
// properties are applied here, in the order HEIF sets (crop, rotate,
// mirror), so the picture comes out as libheif would show it and the EXIF
// orientation is never applied on top.

#include "codecs/common/library_pixels.h"
#include "core/codec_registry.h"
#include "core/fault_texts.h"

#include <cstdint>
#include <span>
#include <string>

namespace pictorand {

// The AVIF codec's words for what it could not do (core/fault_texts.h).
enum class AvifFault { NotValid };

inline constexpr auto kAvifTexts = faultTexts<AvifFault>({
    {AvifFault::NotValid, "Not a valid AVIF file"},
});
static_assert(kAvifTexts.sound());

Result<DecodedImage> readAvif(const std::string& path, const LibraryReadOptions& options = {});
Result<DecodedImage> readAvifFromMemory(std::span<const uint8_t> file, const LibraryReadOptions& options = {});

// Every frame of an image sequence; no frames for a still picture.
Result<ComposedAnimation> readAvifAnimation(const std::string& path, const AnimationLimits& limits);
Result<ComposedAnimation> readAvifAnimationFromMemory(std::span<const uint8_t> file, const AnimationLimits& limits);
// True when the file is a sequence of two images or more that libavif would
// play (its boxes parsed, read as needed, no image decoded).
bool avifDeclaresAnimation(const std::string& path);

} // namespace pictorand
