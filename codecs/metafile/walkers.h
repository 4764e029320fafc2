#pragma once
// The two record walkers. Each checks every record's size against the file
// and every count and offset against its record before it reads them.

#include "codecs/metafile/metafile.h"

namespace pictorand::metafile {

void walkWindows(std::span<const uint8_t> file, const Header& header, Drawing& drawing, const Limits& limits);
void walkEnhanced(std::span<const uint8_t> file, const Header& header, Drawing& drawing, const Limits& limits);

} // namespace pictorand::metafile
