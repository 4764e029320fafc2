#pragma once
// A metafile is drawn from its commands each time it is painted, at any
// zoom, so its colours are brought to the display's once, in the drawing
// itself, rather than in every picture painted from it.

#include "codecs/metafile/drawing.h"

#include <cstdint>
#include <span>

namespace pictorand {

// Converts every colour of `drawing` (pens, brushes, backgrounds, text,
// gradients, the EMF's palette) and its bitmaps and brush patterns from
// sRGB to `display`. Bitmaps with a colour key or premultiplied alpha, and
// any the conversion refuses, are left as they are. False, with the drawing unchanged, when `display` is not a
// profile colours can be converted to or memory runs out.
bool convertDrawingColours(metafile::Drawing& drawing, std::span<const uint8_t> display);

} // namespace pictorand
