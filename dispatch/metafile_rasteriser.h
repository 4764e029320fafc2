#pragma once
// Metafiles become pictures only through the viewer's painter, which lives
// in the layer above this one. A program that links that painter registers
// it here; the command-line converter uses it to rasterise metafiles. The
// batch load itself still gives no block for them.

#include "core/image_block.h"
#include "core/result.h"

#include <string>

namespace pictorand {

// The metafile at `path` drawn on white into a 24-bit block of width x
// height, or of its natural size when both are 0.
using MetafileRasteriser = Result<ImageBlock> (*)(const std::string& path, int width, int height);

void setMetafileRasteriser(MetafileRasteriser rasteriser);
// Null when none was registered.
MetafileRasteriser metafileRasteriser();

} // namespace pictorand
