#pragma once
// The record of the picture on screen. One instance, owned by the viewer; the
// load dispatcher fills it and the display, the commands and the image
// information read it.

#include "core/frame_info.h"
#include "core/image_block.h"
#include "core/image_format.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pictorand {

inline constexpr int kMaxFrames = 1000; // GIF frames and TIFF pages alike
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

    // Animated GIF: the decoded frames (at most kMaxFrames).
    int frameCount = 0;
    std::vector<AnimationFrame> frames;
    // Filled by the GIF frame scanner (control offsets, image offsets) and the
    // TIFF page counter (page directory offsets, in the second table).
    std::array<uint32_t, kMaxFrames> controlOffsets{};
    std::array<uint32_t, kMaxFrames> imageOffsets{};
    bool animationRunning = false;

    int pageCount = 0;
    int currentPage = 0;
    bool multiPage = false;

    bool overviewMode = false;
    int overviewStart = 1;

    bool metafileMode = false;
    std::shared_ptr<void> metafile; // the renderer's object, opaque here
    std::shared_ptr<void> mediaWindow;

    int zoom = 100;
    int screenWidth = 0;
    int screenHeight = 0;
    bool paletteDisplay = false;

    // Starts the record over as a load does, keeping the block: no frames,
    // pages, metafile or overview, zoom 100.
    void resetAllButBlock()
    {
        frames.clear();
        frameCount = 0;
        zoom = 100;
        metafileMode = false;
        metafile.reset();
        multiPage = false;
        pageCount = 0;
        currentPage = 0;
        overviewMode = false;
        animationRunning = false;
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
