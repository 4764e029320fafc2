#pragma once
// Metafiles are loaded as every file is, through the confined decoder, and
// their drawings painted by the viewer's painter, which runs as a program of
// its own (pictorand32-metafile-raster), once per metafile: the programs that
// draw metafiles now and then do not link Qt, which costs every run of them
// several milliseconds to start.

#include "core/image_block.h"
#include "core/result.h"
#include "dispatch/load.h"

#include <string>

namespace pictorand {

// The metafile at `path` drawn on white into a 24-bit block of width x
// height, or of its natural size when both are 0; the failure in the
// painter's words, or saying that no painter is installed.
Result<ImageBlock> rasteriseMetafile(const std::string& path, int width, int height);
// The same for a metafile already loaded (its drawing in `loaded`).
Result<ImageBlock> paintLoadedMetafile(const LoadOutcome& loaded, int width, int height);

} // namespace pictorand
