#pragma once
// JPEG XL through libjxl, on as many threads as djxl takes. libjxl turns the
// picture upright from the orientation in its header; an animation shows its
// first frame. libjxl holds every channel of the picture as 32-bit floats
// while it decodes, so pictures whose float planes would pass the block
// limit are refused before it starts.

#include "codecs/common/library_pixels.h"
#include "core/codec_registry.h"
#include "core/fault_texts.h"

#include <cstdint>
#include <span>
#include <string>

namespace pictorand {

// The JPEG XL codec's words for what it could not do (core/fault_texts.h).
enum class JxlFault { NotValid };

inline constexpr auto kJxlTexts = faultTexts<JxlFault>({
    {JxlFault::NotValid, "Not a valid JPEG XL file"},
});
static_assert(kJxlTexts.sound());

Result<DecodedImage> readJpegXl(const std::string& path, const LibraryReadOptions& options = {});
Result<DecodedImage> readJpegXlFromMemory(std::span<const uint8_t> file, const LibraryReadOptions& options = {});

// Every frame of an animation as it shows; no frames for a still picture.
Result<ComposedAnimation> readJpegXlAnimation(const std::string& path, const AnimationLimits& limits);
Result<ComposedAnimation> readJpegXlAnimationFromMemory(std::span<const uint8_t> file, const AnimationLimits& limits);
// True when the basic information at the head of the codestream says it
// animates (the boxes of a container ahead of the codestream passed over).
bool jpegXlDeclaresAnimation(const std::string& path);

} // namespace pictorand
