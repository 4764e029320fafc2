#pragma once
// The other pictures of a file already on screen: a page of a multi-page
// TIFF and the next contact sheet of a Photo CD overview pack. Each comes
// back as a display load would give it (a depth the viewer shows, 256
// colours on a palette display), or with the reason it could not be read.

#include "core/codec_registry.h"
#include "core/current_image.h"
#include "core/image_block.h"
#include "core/result.h"

#include <string>

namespace pictorand {

inline constexpr const char* kNoMorePictures = "No more pictures in file !";

// The first picture of the overview sheet after the one starting at `start`
// (1, 26, 51, 76), or 0 past the last sheet of a pack.
int nextOverviewStart(int start);

// The directory offset of page `page` (from 0) as the page counter recorded it.
inline uint32_t pageOffset(const CurrentImage& image, int page)
{
    return page >= 0 && static_cast<size_t>(page) < image.pageOffsets.size() ? image.pageOffsets[static_cast<size_t>(page)] : 0;
}

// Page `page` of the TIFF file on screen.
Result<ImageBlock> loadTiffPage(const CurrentImage& image, int page, bool paletteDisplay,
                                   const CodecRegistry& registry = CodecRegistry::instance());

// The overview sheet whose first thumbnail is picture `firstPicture` (1, 26,
// 51 or 76).
Result<ImageBlock> loadOverviewSheet(const std::string& path, int firstPicture, bool paletteDisplay,
                                     const CodecRegistry& registry = CodecRegistry::instance());

} // namespace pictorand
