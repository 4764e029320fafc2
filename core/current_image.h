#pragma once
// The record of the picture on screen: what a load found out about the file
// and the block it gave. One instance, owned by the viewer; the load
// dispatcher fills it and the display, the commands and the image
// information read it. How the viewer shows it (zoom, animation, media)
// is the viewer's own state.

#include "core/frame_info.h"
#include "core/image_block.h"
#include "core/image_format.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace pictorand {

inline constexpr const char* kClipboardPath = "<Clipboard>";
inline constexpr const char* kScanImagePath = "<ScanImage>";

struct CurrentImage {
    std::string path;
    ImageBlock block; // null: nothing shown, a metafile, or media playing
    ImageFormat format = ImageFormat::Bmp;

    int originalWidth = 0;
    int originalHeight = 0;
    int originalBitCount = 0;
    int currentWidth = 0;
    int currentHeight = 0;
    int currentBitCount = 0;

    std::string compression;
    int64_t decompressionMs = 0;

    // The directory offsets of a TIFF file's pages, the first page first.
    std::vector<uint32_t> pageOffsets;

    int pageCount = 0;
    int currentPage = 0;
    bool multiPage = false;

    bool overviewMode = false;
    int overviewStart = 1;

    bool metafileMode = false;

    // Starts the record over as a load does, keeping the block: no pages,
    // metafile or overview. The viewer resets its own state beside it.
    void resetAllButBlock()
    {
        metafileMode = false;
        multiPage = false;
        pageCount = 0;
        currentPage = 0;
        overviewMode = false;
    }

    // Copies the block's width, height and bit count into the current values.
    void refreshCurrentSize()
    {
        currentWidth = block ? block.width() : 0;
        currentHeight = block ? block.height() : 0;
        currentBitCount = block ? block.bitCount() : 0;
    }
};

} // namespace pictorand
