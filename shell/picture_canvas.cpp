#include "shell/picture_canvas.h"

#include "tools/painting/block_image.h"
#include "shell/core/viewer_controller.h"

#include <QPainter>

#include <cmath>

namespace pictorand {

void paintInDevicePixels(QPainter& painter, const std::function<void()>& draw)
{
    const QTransform device = painter.deviceTransform();
    if (device.type() <= QTransform::TxTranslate) {
        draw();
        return;
    }
    // A widget's origin may fall inside a device pixel (a menu bar of 19
    // logical pixels ends 28.5 pixels down at 150 %): the picture starts at
    // the nearest whole one, or every pixel of it would straddle two.
    const QPointF origin = device.map(QPointF(0, 0));
    const QTransform snapped = QTransform::fromTranslate(std::round(origin.x()), std::round(origin.y()));
    painter.save();
    painter.setWorldTransform(snapped * device.inverted() * painter.worldTransform());
    draw();
    painter.restore();
}

void PictureCanvas::paint(QPainter& painter, const QRect& target)
{
    const DisplayState& display = m_viewer.displayState();
    if (display.drawing && !display.animationRunning) {
        m_metafiles.paint(painter, display.drawing, target);
        return;
    }
    const ImageBlock& shown = m_viewer.shownBlock();
    // 4-bit blocks are expanded once and kept until the block changes; the
    // other depths are drawn straight from the block's rows.
    if (shown.bitCount() == 4) {
        if (m_expandedGeneration != m_generation || m_expanded.isNull()) {
            m_expanded = blockImage(shown, logicalPalette(shown), m_scratch);
            m_expandedGeneration = m_generation;
        }
        drawBlock(painter, m_expanded, target);
        return;
    }
    std::vector<uint8_t> unused;
    drawBlock(painter, blockImage(shown, logicalPalette(shown), unused), target);
}

void PictureCanvas::changed()
{
    ++m_generation;
    m_expanded = QImage();
    // The expansion buffer is kept for the next 4-bit picture, but one sized
    // for a giant picture would stay taken for the rest of the run.
    if (m_scratch.capacity() > (size_t(64) << 20))
        std::vector<uint8_t>().swap(m_scratch);
}

} // namespace pictorand
