#pragma once
// The decorations an X11 window manager puts around a window, as it
// announces them in _NET_FRAME_EXTENTS. Asked for before the window is first
// shown (_NET_REQUEST_FRAME_EXTENTS), so that the first picture's window is
// sized with the title bar and borders it will get.

#include <QMargins>

#include <optional>

class QWidget;

namespace pictorand {

// Nothing without an X11 window manager that offers the request, or when
// it does not answer within `waitMs`.
std::optional<QMargins> announcedFrameExtents(QWidget* window, int waitMs);

} // namespace pictorand
