#pragma once
// Photo CD files: image packs (one picture at several resolutions, stored as
// a luminance plane and two chroma planes at half resolution) and overview
// packs (up to 100 thumbnails). Both give 24-bit blocks.

#include "core/codec_registry.h"
#include "core/fault_texts.h"
#include "core/image_block.h"
#include "core/result.h"

#include <span>

#include <cstdint>
#include <string>

namespace pictorand {

// The Photo CD codec's words for what it could not do (core/fault_texts.h).
enum class PhotoCdFault { NotValid };

inline constexpr auto kPhotoCdTexts = faultTexts<PhotoCdFault>({
    {PhotoCdFault::NotValid, "Not a valid PCD-File"},
});
static_assert(kPhotoCdTexts.sound());

struct PhotoCdRgb {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    friend bool operator==(const PhotoCdRgb&, const PhotoCdRgb&) = default;
};

// The integer colour conversion applied to every pixel.
PhotoCdRgb photoCdToRgb(uint8_t luminance, uint8_t chroma1, uint8_t chroma2);

// Picture sizes by loading size: 0 Base/16 (192 x 128), 2 Base (768 x 512),
// anything else Base/4 (384 x 256).
struct PhotoCdResolution {
    int32_t width;
    int32_t height;
    uint64_t offset;
};
PhotoCdResolution photoCdResolution(int loadingSize);

inline constexpr int32_t kOverviewSheetWidth = 960;
inline constexpr int32_t kOverviewSheetHeight = 649;
inline constexpr int kOverviewThumbnailsPerSheet = 25;

struct PhotoCdHeader {
    bool isOverview = false; // an overview pack rather than an image pack
};
// Checks the signature at the start of a file's bytes. Refusals are in the
// reader's words.
Result<PhotoCdHeader> checkPhotoCdHeader(std::span<const uint8_t> head);

// Reads an image pack at the loading size, as stored; the stored orientation
// comes back as the quarter turns that make it upright. An overview pack gives
// no block, only the overview flag: it is read with readPhotoCdOverview.
Result<DecodedImage> readPhotoCd(const std::string& path, int loadingSize);

// A contact sheet of 25 thumbnails starting at `firstPicture` (1, 26, 51 or
// 76), 24 bits.
Result<DecodedImage> readPhotoCdOverview(const std::string& path, int firstPicture);

} // namespace pictorand
