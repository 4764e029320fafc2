#pragma once
// QOI, the "Quite OK Image" format: a 14-byte header (magic "qoif", width and
// height big-endian, 3 or 4 channels, a colour-space byte), runs of one-byte
// to five-byte pixel codes, and an end marker of seven zeros and a one. The
// reference decoder reads the codes; the header is checked here first, since
// that decoder allocates the whole picture before it reads a code.

#include "core/codec_registry.h"
#include "core/fault_texts.h"

#include <cstdint>
#include <span>
#include <string>

namespace pictorand {

// The QOI codec's words for what it could not do (core/fault_texts.h).
enum class QoiFault { NotValid };

inline constexpr auto kQoiTexts = faultTexts<QoiFault>({
    {QoiFault::NotValid, "Not a valid QOI file"},
});
static_assert(kQoiTexts.sound());

inline constexpr ImageFormat kQoiFormat = ImageFormat{20};

struct QoiHeader {
    uint32_t width = 0;
    uint32_t height = 0;
    int channels = 0;   // 3 RGB, 4 RGBA
    int colourSpace = 0; // 0 sRGB with linear alpha, 1 all linear: a note only, the samples are the same
};

// The header, or why the file is not one this reader takes: too short for a
// header, no magic, a width or height of 0 or over the block limit, channels
// other than 3 or 4, an unknown colour space, or too few bytes to hold the
// picture at QOI's best ratio (a few bytes declaring gigabytes).
Result<QoiHeader> checkQoiHeader(std::span<const uint8_t> file);

// keepAlpha: DecodedImage::alpha holds the opacity of a four-channel picture.
Result<DecodedImage> readQoiFromMemory(std::span<const uint8_t> file, bool keepAlpha = false);
Result<DecodedImage> readQoi(const std::string& path, bool keepAlpha = false);

} // namespace pictorand
