#pragma once
// The display's measures taken from the screen the main window is on and
// from the window's real frame, caption, menu bar and scroll bars.

#include "shell/core/system_metrics.h"

#include <QPointer>
#include <QMainWindow>

namespace pictorand {

class QtSystemMetrics : public SystemMetrics {
public:
    explicit QtSystemMetrics(QMainWindow* window = nullptr) : m_window(window) {}
    void setWindow(QMainWindow* window) { m_window = window; }
    DisplayMetrics metrics() const override;

private:
    QPointer<QMainWindow> m_window;
};

} // namespace pictorand
