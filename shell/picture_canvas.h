#pragma once
// What the windows that show the picture (the main window, full screen, the
// slideshow) draw it with: the block, the canvas of a running animation or
// the drawing of a metafile, whichever the viewer shows now.

#include "core/image_block.h"
#include "shell/metafile_display.h"

#include <QImage>
#include <QRect>

#include <functional>
#include <vector>

class QPainter;

namespace pictorand {

class ViewerController;

// Runs `draw` with `painter` counting device pixels from the device pixel
// nearest its origin: a picture drawn there at its own size is one picture
// pixel to one pixel of the screen however the desktop is scaled. On an
// unscaled desktop the painter is left as it is.
void paintInDevicePixels(QPainter& painter, const std::function<void()>& draw);

class PictureCanvas {
public:
    explicit PictureCanvas(const ViewerController& viewer) : m_viewer(viewer) {}

    // Draws the picture stretched into `target`.
    void paint(QPainter& painter, const QRect& target);
    // The picture changed: copies made for painting are stale.
    void changed();
    // Grows with every change of the picture.
    unsigned generation() const { return m_generation; }
    const MetafileDisplay& metafiles() const { return m_metafiles; }

private:
    const ViewerController& m_viewer;
    MetafileDisplay m_metafiles;
    std::vector<uint8_t> m_scratch; // a 4-bit block expanded for painting
    QImage m_expanded;              // over m_scratch
    unsigned m_expandedGeneration = 0;
    unsigned m_generation = 1;
};

} // namespace pictorand
