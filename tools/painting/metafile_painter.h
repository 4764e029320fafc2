#pragma once
// Plays a metafile's drawing commands into a QPainter at any size, and keeps
// the last rendering so repaints at the same size cost a copy: zooming
// renders the commands again, the file is never read again.

#include "codecs/metafile/drawing.h"
#include "core/image_block.h"

#include <QImage>
#include <QRect>

#include <memory>

class QPainter;

namespace pictorand {

// Draws the commands scaled from the drawing's natural size to `target`,
// on whatever is there already (the caller paints the white page).
void paintDrawing(QPainter& painter, const metafile::Drawing& drawing, const QRectF& target);

// The drawing at width x height on white, as a 24-bit image block; null
// when the block cannot be had.
ImageBlock renderDrawingToBlock(const metafile::Drawing& drawing, int width, int height);

class MetafilePicture {
public:
    explicit MetafilePicture(std::shared_ptr<const metafile::Drawing> drawing) : m_drawing(std::move(drawing)) {}

    const metafile::Drawing& drawing() const { return *m_drawing; }
    // The picture on white in `target`. Renderings up to a screenful or two
    // are kept for the next paint; larger zooms draw straight to the
    // painter, cut to what it shows.
    void paint(QPainter& painter, const QRect& target);
    int renderCount() const { return m_renders; }

private:
    std::shared_ptr<const metafile::Drawing> m_drawing;
    QImage m_cache;
    int m_renders = 0;
};

} // namespace pictorand
