#include "shell/full_screen_window.h"

#include "shell/block_image.h"
#include "shell/core/commands.h"
#include "shell/core/display_geometry.h"
#include "shell/main_window.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPainter>

#include <algorithm>

namespace pictorand {

FullScreenWindow::FullScreenWindow(MainWindow* main, bool showName)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), m_main(main), m_showName(showName)
{
    setObjectName("FullViewClass");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(kProgramCaptionText);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
    const QSize screen = screenSize();
    setGeometry(0, 0, screen.width(), screen.height());
    setFocusPolicy(Qt::StrongFocus);
}

QSize FullScreenWindow::screenSize() const
{
    const DisplayMetrics m = m_main->metrics();
    return {m.screenWidth, m.screenHeight};
}

QSize FullScreenWindow::scaledSize() const
{
    const CurrentImage& image = m_main->currentImage();
    return {scaleByZoom(image.currentWidth, m_zoom), scaleByZoom(image.currentHeight, m_zoom)};
}

QRect FullScreenWindow::pictureRect() const
{
    const CurrentImage& image = m_main->currentImage();
    const QSize screen = screenSize();
    PlacedPicture placed;
    if (m_zoom == 100) {
        placed = fullScreenFit(image.currentWidth, image.currentHeight, screen.width(), screen.height());
    } else {
        const QSize scaled = scaledSize();
        placed = fullScreenZoomed(scaled.width(), scaled.height(), screen.width(), screen.height(), m_scrollX,
                                  m_scrollY);
    }
    return {placed.x, placed.y, placed.width, placed.height};
}

void FullScreenWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const CurrentImage& image = m_main->currentImage();
    if (const ImageBlock& shown = m_main->shownBlock()) {
        const QRect target = pictureRect();
        const bool smaller = target.width() < shown.width() || target.height() < shown.height();
        if (m_zoom == 100 && smaller && m_main->useResample() && !m_main->displayState().metafile) {
            // The smooth copy is made once per picture and size, not per paint.
            if (m_resampledGeneration != m_main->pictureGeneration() || m_resampled.width() != target.width() ||
                m_resampled.height() != target.height()) {
                m_resampled = resampledForDisplay(shown, target.width(), target.height());
                m_resampledGeneration = m_main->pictureGeneration();
            }
            if (m_resampled) {
                std::vector<uint8_t> scratch;
                drawBlock(painter, blockImage(m_resampled, logicalPalette(m_resampled), scratch), target);
            } else {
                m_main->paintBlockInto(painter, target);
            }
        } else {
            m_main->paintBlockInto(painter, target);
        }
    }
    if (m_showName) {
        QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setPixelSize(10);
        // A crisp bitmap-like face, as the stock fixed font was.
        font.setStyleStrategy(QFont::NoAntialias);
        painter.setFont(font);
        painter.setPen(QColor(0, 255, 0));
        painter.setBackgroundMode(Qt::TransparentMode);
        painter.drawText(QRect(0, 0, width(), 20), Qt::AlignLeft | Qt::AlignTop,
                         QString::fromStdString(image.path));
    }
}

void FullScreenWindow::zoomIn(bool in)
{
    if (m_zoom == 100)
        m_step = 0;
    if (in && m_step == kMaxZoomStep) {
        m_main->userInterface().showMessage("This is the maximum !", MessageIcon::Information);
        return;
    }
    if (!in && m_step == kMinZoomStep) {
        m_main->userInterface().showMessage("This is the minimum !", MessageIcon::Information);
        return;
    }
    m_step += in ? 1 : -1;
    m_zoom = zoomForStep(m_step);
    m_scrollX = m_scrollY = 0;
    update();
}

void FullScreenWindow::resetZoom()
{
    m_zoom = 100;
    m_step = 0;
    m_scrollX = m_scrollY = 0;
}

void FullScreenWindow::scroll(Qt::Orientation orientation, bool page, bool forward)
{
    if (m_zoom == 100)
        return;
    const QSize scaled = scaledSize();
    const QSize screen = screenSize();
    const bool horizontal = orientation == Qt::Horizontal;
    const int scaledExtent = horizontal ? scaled.width() : scaled.height();
    const int screenExtent = horizontal ? screen.width() : screen.height();
    if (scaledExtent <= screenExtent)
        return;
    const int step = page ? scrollPage(screenExtent) : scrollLine(scaledExtent);
    int& position = horizontal ? m_scrollX : m_scrollY;
    position = std::clamp(position + (forward ? step : -step), 0, scaledExtent - screenExtent);
    update();
}

void FullScreenWindow::keyPressEvent(QKeyEvent* event)
{
    // Accelerators are translated for the main window first, as for every
    // window of the program.
    if (m_main->translateAccelerator(event))
        return;
    if (const int id = m_main->windowKeyCommand(event, true)) {
        if (id == command::PreviousFile || id == command::NextFile)
            resetZoom(); // the next picture starts at 100 %
        m_main->stepByKey(event, id);
        return;
    }
    switch (event->key()) {
    case Qt::Key_PageUp:
        scroll(Qt::Vertical, true, false);
        return;
    case Qt::Key_PageDown:
        scroll(Qt::Vertical, true, true);
        return;
    case Qt::Key_Home:
        scroll(Qt::Horizontal, true, false);
        return;
    case Qt::Key_End:
        scroll(Qt::Horizontal, true, true);
        return;
    case Qt::Key_Left:
        scroll(Qt::Horizontal, false, false);
        return;
    case Qt::Key_Right:
        scroll(Qt::Horizontal, false, true);
        return;
    case Qt::Key_Up:
        scroll(Qt::Vertical, false, false);
        return;
    case Qt::Key_Down:
        scroll(Qt::Vertical, false, true);
        return;
    case Qt::Key_Plus:
    case Qt::Key_Minus:
    case Qt::Key_Equal:
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_Meta:
        return;
    default:
        leave();
    }
}

void FullScreenWindow::mousePressEvent(QMouseEvent* event)
{
    switch (event->button()) {
    case Qt::LeftButton:
        resetZoom();
        m_main->runCommand(command::PreviousFile);
        break;
    case Qt::RightButton:
        resetZoom();
        m_main->runCommand(command::NextFile);
        break;
    case Qt::MiddleButton:
        leave();
        break;
    default:
        break;
    }
}

void FullScreenWindow::closeEvent(QCloseEvent* event)
{
    if (!m_leaving) {
        m_leaving = true;
        m_main->fullScreenLeft();
    }
    event->accept();
}

void FullScreenWindow::leave()
{
    close();
}

} // namespace pictorand
