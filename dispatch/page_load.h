#pragma once
// The other pictures of a file already on screen: a page of a multi-page
// TIFF and the next contact sheet of a Photo CD overview pack, each a load
// of the file with the page or sheet asked for.

#include "core/codec_registry.h"
#include "core/image_block.h"
#include "core/result.h"
#include "dispatch/load.h"

#include <string>

namespace pictorand {

inline constexpr const char* kNoMorePictures = "No more pictures in file !";

// The first picture of the overview sheet after the one starting at `start`
// (1, 26, 51, 76), or 0 past the last sheet of a pack.
int nextOverviewStart(int start);

// Page `page` (from 0) of the TIFF file `request` names, read as the
// request reads it; the failure in the reader's words.
Result<ImageBlock> loadPage(LoadRequest request, int page, const CodecRegistry& registry = CodecRegistry::instance());

} // namespace pictorand
