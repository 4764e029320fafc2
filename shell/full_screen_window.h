#pragma once
// The full-screen window: black, frameless, covering the screen, the current
// picture shrunk to the screen (never enlarged) and centred, or zoomed and
// scrolled; the file name in green at the top left when asked.

#include "core/image_block.h"

#include <QWidget>

namespace pictorand {

class MainWindow;

class FullScreenWindow : public QWidget {
    Q_OBJECT
public:
    FullScreenWindow(MainWindow* main, bool showName);

    int zoom() const { return m_zoom; }
    int zoomStep() const { return m_step; }
    QPoint scrollPosition() const { return {m_scrollX, m_scrollY}; }
    // Zoom commands passed on by the main window.
    void zoomIn(bool in);
    // The rectangle the picture is painted into.
    QRect pictureRect() const;
    // Back to zoom 100 (before the next or previous file).
    void resetZoom();
    // Leaves full screen: the main window shows the picture again.
    void leave();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QSize screenSize() const;
    QSize scaledSize() const;
    void scroll(Qt::Orientation orientation, bool page, bool forward);

    MainWindow* m_main;
    bool m_showName;
    int m_zoom = 100;
    int m_step = 0;
    int m_scrollX = 0;
    int m_scrollY = 0;
    bool m_leaving = false;
    ImageBlock m_resampled; // the smooth copy drawn with UseResample
    unsigned m_resampledGeneration = 0;
};

} // namespace pictorand
