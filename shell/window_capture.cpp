#include "shell/window_capture.h"

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <cstring>

namespace pictorand {

Result<ImageBlock> blockFromImage(const QImage& image)
{
    if (image.isNull())
        return Failure{Reason::CorruptData, kCantCaptureWindow};
    const QImage rgb = image.convertToFormat(QImage::Format_BGR888);
    ImageBlock block = ImageBlock::create(rgb.width(), rgb.height(), 24, 0);
    if (!block)
        return outOfMemory();
    const size_t bytes = size_t(rgb.width()) * 3;
    for (int y = 0; y < rgb.height(); ++y)
        std::memcpy(block.topRow(y), rgb.constScanLine(y), bytes);
    return block;
}

Result<ImageBlock> captureWindow(QWidget* window, const QRect& area)
{
    if (!window || area.isEmpty() || !window->isVisible())
        return Failure{Reason::BadArgument, kCantCaptureWindow};
    QScreen* screen = window->screen();
    if (!screen)
        return Failure{Reason::BadArgument, kCantCaptureWindow};
    // The screen's pixels under the window's client rectangle, in device
    // pixels on a scaled screen.
    const QPoint origin = window->mapToGlobal(area.topLeft()) - screen->geometry().topLeft();
    const QPixmap grabbed = screen->grabWindow(0, origin.x(), origin.y(), area.width(), area.height());
    if (grabbed.isNull() || grabbed.width() < area.width() || grabbed.height() < area.height())
        return Failure{Reason::CorruptData, kCantCaptureWindow};
    return blockFromImage(grabbed.toImage());
}

Result<ImageBlock> renderWindow(QWidget* window, const QRect& area)
{
    if (!window || area.isEmpty())
        return Failure{Reason::BadArgument, kCantCaptureWindow};
    return blockFromImage(window->grab(area).toImage());
}

} // namespace pictorand
