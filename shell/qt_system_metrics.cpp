#include "shell/qt_system_metrics.h"

#include "shell/core/display_geometry.h"

#include <QApplication>
#include <QMenuBar>
#include <QScreen>
#include <QStyle>

#include <algorithm>

namespace pictorand {

DisplayMetrics QtSystemMetrics::metrics() const
{
    DisplayMetrics m;
    QScreen* screen = m_window && m_window->screen() ? m_window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return m;
    // Qt measures in logical pixels; the sizing rules are written in the
    // screen's own (device) pixels.
    const DeviceScale scale{m_window ? m_window->devicePixelRatioF() : screen->devicePixelRatio()};
    m.devicePixelRatio = scale.ratio;
    const auto device = [&scale](const QRect& rect) {
        return QRect(scale.toDevice(rect.left()), scale.toDevice(rect.top()), scale.toDevice(rect.width()),
                     scale.toDevice(rect.height()));
    };
    const QRect whole = device(screen->geometry());
    const QRect available = device(screen->availableGeometry());
    m.screenWidth = whole.width();
    m.screenHeight = whole.height();
    m.workArea = {available.left(), available.top(), available.width(), available.height()};
    m.bitsPerPixel = screen->depth();

    // The decorations the window manager puts around the main window. The
    // sizing rules count fx + fx / 2 across and cap + fy + fy / 2 down; the
    // values are chosen so those sums are the real decorations.
    int across = 0;
    int down = 0;
    if (m_window && m_window->isVisible() && m_window->frameGeometry() != m_window->geometry()) {
        const QRect frame = m_window->frameGeometry();
        const QRect client = m_window->geometry();
        across = std::max(0, frame.width() - client.width());
        down = std::max(0, frame.height() - client.height());
    } else if (m_announced) {
        across = m_announced->left() + m_announced->right();
        down = m_announced->top() + m_announced->bottom();
    }
    across = scale.toDevice(across);
    down = scale.toDevice(down);
    m.frameWidth = (across * 2 + 2) / 3;
    while (m.frameWidth + m.frameWidth / 2 > across && m.frameWidth > 0)
        --m.frameWidth;
    m.frameHeight = m.frameWidth;
    m.captionHeight = std::max(0, down - (m.frameHeight + m.frameHeight / 2));

    QStyle* style = m_window ? m_window->style() : QApplication::style();
    m.verticalScrollWidth = scale.toDevice(style->pixelMetric(QStyle::PM_ScrollBarExtent));
    m.horizontalScrollHeight = m.verticalScrollWidth;
    m.menuHeight = scale.toDevice(m_window ? m_window->menuBar()->sizeHint().height() : 0);

    // A window maximised on the work area has this client area.
    m.fullScreenWidth = available.width();
    m.fullScreenHeight = available.height() - m.captionHeight;
    return m;
}

} // namespace pictorand
