#pragma once
// Turning and mirroring a JPEG without decoding it: the DCT blocks are
// rearranged (libjpeg-turbo's transform, the engine of jpegtran), so nothing
// of the picture is lost to a second compression. Every marker is kept;
// the EXIF orientation is set to upright, since the pixels now are.

#include "codecs/jpeg/jpeg.h"
#include "core/result.h"
#include "core/turn.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace pictorand {

struct JpegTurnRequest {
    Turn turn;              // applied after the EXIF orientation's
    bool applyOrientation = true; // the file's EXIF orientation is turned upright first
    // A picture whose sides are not whole blocks can only be turned by
    // dropping the partial blocks at its right and bottom edges (as jpegtran
    // -trim does). Without leave the turn is refused with Reason::Unsupported.
    bool trimEdges = false;
    bool greyscale = false;   // only the brightness is kept (still without recompressing it)
    bool progressive = false; // written as a progressive file
};

// The turned file's bytes. Reason::Unsupported when it would lose edge
// pixels that were not allowed to go; the library's words for a damaged file.
Result<std::vector<uint8_t>> turnJpeg(std::span<const uint8_t> file, const JpegTurnRequest& request);
Result<std::vector<uint8_t>> turnJpegFile(const std::string& path, const JpegTurnRequest& request);

} // namespace pictorand
