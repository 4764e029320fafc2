#include "shell/metafile_display.h"

#include "tools/painting/metafile_painter.h"

namespace pictorand {

MetafileDisplay::MetafileDisplay() = default;
MetafileDisplay::~MetafileDisplay() = default;

void MetafileDisplay::paint(QPainter& painter, const std::shared_ptr<const metafile::Drawing>& drawing,
                            const QRect& target)
{
    if (!drawing)
        return;
    if (drawing != m_drawing || !m_picture) {
        m_drawing = drawing;
        m_picture = std::make_unique<MetafilePicture>(drawing);
    }
    m_picture->paint(painter, target);
}

ImageBlock MetafileDisplay::render(const metafile::Drawing& drawing, int width, int height)
{
    return renderDrawingToBlock(drawing, width, height);
}

} // namespace pictorand
