#pragma once
// Where the main window goes and how large it is, as the program asks it:
// the position is the frame's, title bar included, so that under a window
// manager the frame lands there rather than the client with the title bar
// above the screen; the size is the client's. While the manager takes the
// window on after it is shown, what it reports may be the size and place of
// the map rather than those asked for after it, so they are asked for again
// until the frame is where it belongs (for a few seconds at most: without a
// manager there is no frame to wait for).

#include <QObject>
#include <QPoint>
#include <QSize>

class QWidget;

namespace pictorand {

class WindowPlacement : public QObject {
public:
    explicit WindowPlacement(QWidget& window);

    void place(QPoint framePosition, QSize clientSize);
    // From the window's show, move and resize events.
    void shown();
    void moved();
    // True when the window was resized to other than what the program
    // asked: the user (or the manager) sized it.
    bool resizedByUser(QSize size);

private:
    void apply();
    void settle();

    QWidget& m_window;
    QPoint m_framePosition;
    QSize m_clientSize; // empty until the program sized it
    bool m_settling = false;
    bool m_checkDue = false;
};

} // namespace pictorand
