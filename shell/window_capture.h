#pragma once
// A rectangle of a window as an image block: what the screen shows there
// (a window covered by another captures the other's pixels), or the
// window's own rendering off-screen, which no other window can spoil.

#include "core/image_block.h"
#include "core/result.h"

#include <QRect>

class QImage;
class QWidget;

namespace pictorand {

inline constexpr const char* kCantCaptureWindow = "Can't capture the window !";

// What the screen shows of `window`'s client rectangle `area`. A null window,
// an empty rectangle or a grab the platform refuses fail with
// kCantCaptureWindow; the block is 24 bits.
Result<ImageBlock> captureWindow(QWidget* window, const QRect& area);
// The same rectangle rendered by the window itself, off-screen.
Result<ImageBlock> renderWindow(QWidget* window, const QRect& area);

// A 24-bit block of a Qt image (top row first).
Result<ImageBlock> blockFromImage(const QImage& image);

} // namespace pictorand
