#include "shell/window_placement.h"

#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace pictorand {

namespace {

// How long a window manager may take to frame the window, on a busy machine.
constexpr int kSettlingMs = 10000;

} // namespace

WindowPlacement::WindowPlacement(QWidget& window) : QObject(&window), m_window(window) {}

void WindowPlacement::place(QPoint framePosition, QSize clientSize)
{
    m_framePosition = framePosition;
    m_clientSize = clientSize;
    m_window.resize(clientSize);
    apply();
}

void WindowPlacement::apply()
{
    QWindow* handle = m_window.windowHandle();
    if (!handle) {
        m_window.move(m_framePosition);
        return;
    }
    // Once the manager has framed the window its margins are known: the
    // client goes inside them. (Qt places a frame by the margins it took when
    // it was asked, which are none before the frame exists, and keeps doing
    // so after.)
    const QPoint margins = m_window.geometry().topLeft() - m_window.frameGeometry().topLeft();
    if (margins.isNull())
        handle->setFramePosition(m_framePosition);
    else
        handle->setPosition(m_framePosition + margins);
}

void WindowPlacement::shown()
{
    // Showing places the client where the widget was; the frame goes there.
    apply();
    m_settling = true;
    QTimer::singleShot(kSettlingMs, this, [this] { m_settling = false; });
    settle();
}

void WindowPlacement::moved()
{
    if (m_settling)
        settle();
}

bool WindowPlacement::resizedByUser(QSize size)
{
    if (m_settling) {
        settle();
        return false;
    }
    return !m_clientSize.isEmpty() && size != m_clientSize;
}

void WindowPlacement::settle()
{
    if (!m_settling)
        return;
    const bool framed = m_window.frameGeometry() != m_window.geometry();
    if (framed && m_window.pos() == m_framePosition && m_window.size() == m_clientSize) {
        m_settling = false;
        return;
    }
    if (framed) {
        m_window.resize(m_clientSize);
        apply();
    }
    if (!m_checkDue) {
        m_checkDue = true;
        QTimer::singleShot(20, this, [this] {
            m_checkDue = false;
            settle();
        });
    }
}

} // namespace pictorand
