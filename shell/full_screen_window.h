#pragma once
// The full-screen window: black, frameless, covering the screen, the current
// picture shrunk to the screen (never enlarged) and centred, or zoomed and
// scrolled; the file name in green at the top left when asked. It takes the
// keys the command table marks for it; any other key leaves.

#include "core/image_block.h"
#include "shell/core/commands.h"

#include <QWidget>

#include <functional>

class QPainter;

namespace pictorand {

class PictureCanvas;
class ViewerController;

class FullScreenWindow : public QWidget {
    Q_OBJECT
public:
    // `run` runs a command as the main window does.
    FullScreenWindow(ViewerController& viewer, PictureCanvas& canvas, bool showName, std::function<void(int)> run);

    // Called once, when the window closes.
    std::function<void()> left;

    int zoom() const { return m_zoom; }
    int zoomStep() const { return m_step; }
    QPoint scrollPosition() const { return {m_scrollX, m_scrollY}; }
    // The zoom commands while full screen is up.
    void zoomIn(bool in);
    void scroll(const ScrollMove& move);
    // The rectangle the picture is painted into, in device pixels.
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
    QSize screenSize() const; // in device pixels
    void paintPicture(QPainter& painter, const ImageBlock& shown);
    QSize scaledSize() const;
    void key(int id);

    ViewerController& m_viewer;
    PictureCanvas& m_canvas;
    std::function<void(int)> m_run;
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
