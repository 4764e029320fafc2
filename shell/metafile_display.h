#pragma once
// Metafiles in the viewer's windows: the drawing a load gave is painted
// from its commands at whatever size a window shows it (so zoom and full
// screen stay sharp), a rendering kept between paints at one size, and
// rendered once into a block that stands for it as the current picture, so
// saving, printing and the image operations work on it as on any picture.

#include "codecs/metafile/drawing.h"
#include "core/image_block.h"

#include <QRect>

#include <memory>

class QPainter;

namespace pictorand {

class MetafilePicture;

class MetafileDisplay {
public:
    MetafileDisplay();
    ~MetafileDisplay();

    // Paints `drawing` on white into `target`.
    void paint(QPainter& painter, const std::shared_ptr<const metafile::Drawing>& drawing, const QRect& target);
    // The drawing at width x height as a 24-bit block; null when the block
    // cannot be had.
    static ImageBlock render(const metafile::Drawing& drawing, int width, int height);
    // The painter of the drawing painted last (its renderings are counted).
    const MetafilePicture* picture() const { return m_picture.get(); }

private:
    std::shared_ptr<const metafile::Drawing> m_drawing;
    std::unique_ptr<MetafilePicture> m_picture;
};

} // namespace pictorand
