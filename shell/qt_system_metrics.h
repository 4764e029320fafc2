#pragma once
// The display's measures taken from the screen the main window is on and
// from the window's real frame, caption, menu bar and scroll bars.

#include "shell/core/system_metrics.h"

#include <QMargins>
#include <QPointer>
#include <QMainWindow>

#include <optional>

namespace pictorand {

class QtSystemMetrics : public SystemMetrics {
public:
    explicit QtSystemMetrics(QMainWindow* window = nullptr) : m_window(window) {}
    void setWindow(QMainWindow* window) { m_window = window; }
    // The decorations the window manager announced before the window was
    // shown; measured on the window once it is up.
    void setAnnouncedFrame(std::optional<QMargins> frame) { m_announced = frame; }
    DisplayMetrics metrics() const override;

private:
    QPointer<QMainWindow> m_window;
    std::optional<QMargins> m_announced;
};

} // namespace pictorand
