#pragma once
// Image blocks as Qt sees them, without copying where Qt allows: a 24-bit
// block is wrapped as Format_BGR888, an 8-bit one as Indexed8 and a 1-bit one
// as Mono over the block's own rows. Rows are stored bottom-up, so the image
// is upside down and is drawn through a flipping transform. 4-bit blocks have
// no Qt format and are expanded to 8 bits once per block.

#include "core/image_block.h"

#include <QImage>
#include <QList>
#include <QPixmap>
#include <QRect>

#include <vector>

class QPainter;

namespace pictorand {

// The colours of a block's logical palette: the colour-count rule (the
// colours-used field, else 2, 16 or 256 by depth, 0 for 24 bits), entries
// red, green, blue from the table. Empty when the block has no colours.
QList<QRgb> logicalPalette(const ImageBlock& block);

// A QImage over the block's rows (bottom row first). For 1, 4 and 8 bits the
// colour table is `palette` padded with black to the depth's full range, so
// an index past the table paints black as the display would. The image is
// valid while the block lives and `scratch` is kept.
QImage blockImage(const ImageBlock& block, const QList<QRgb>& palette, std::vector<uint8_t>& scratch);

// Draws the block stretched to `target` by nearest neighbour (no smoothing).
void drawBlock(QPainter& painter, const QImage& upsideDown, const QRect& target);

// The device bitmap of a block: a pixmap in the display's format, top row
// first, coloured through `palette` (the logical palette on a palette display,
// else the block's own table).
QPixmap deviceBitmap(const ImageBlock& block, const QList<QRgb>& palette);

} // namespace pictorand
