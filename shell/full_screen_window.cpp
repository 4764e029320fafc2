#include "shell/full_screen_window.h"

#include "ops/resample_command.h"
#include "tools/painting/block_image.h"
#include "shell/core/display_geometry.h"
#include "shell/core/viewer_controller.h"
#include "shell/key_bindings.h"
#include "shell/picture_canvas.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPainter>

#include <algorithm>

namespace pictorand {

FullScreenWindow::FullScreenWindow(ViewerController& viewer, PictureCanvas& canvas, bool showName,
                                   std::function<void(int)> run)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), m_viewer(viewer), m_canvas(canvas),
      m_run(std::move(run)), m_showName(showName)
{
    setObjectName("FullViewClass");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(kProgramCaption);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
    const QSize screen = screenSize();
    const DeviceScale scale{m_viewer.metrics().devicePixelRatio};
    setGeometry(0, 0, scale.coveringLogical(screen.width()), scale.coveringLogical(screen.height()));
    setFocusPolicy(Qt::StrongFocus);
    addWindowShortcuts(this, [](const KeyStroke& stroke) { return stroke.fullScreen; }, [this](int id) { key(id); });
}

void FullScreenWindow::key(int id)
{
    if (std::optional<ScrollMove> move = scrollMoveOf(id)) {
        scroll(*move);
        return;
    }
    if (id == command::PreviousFile || id == command::NextFile)
        resetZoom(); // the next picture starts at 100 %
    m_run(id);
}

QSize FullScreenWindow::screenSize() const
{
    const DisplayMetrics m = m_viewer.metrics();
    return {m.screenWidth, m.screenHeight};
}

QSize FullScreenWindow::scaledSize() const
{
    const CurrentImage& image = m_viewer.picture();
    return {scaleByZoom(image.currentWidth, m_zoom), scaleByZoom(image.currentHeight, m_zoom)};
}

QRect FullScreenWindow::pictureRect() const
{
    const CurrentImage& image = m_viewer.picture();
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

void FullScreenWindow::paintPicture(QPainter& painter, const ImageBlock& shown)
{
    const QRect target = pictureRect();
    const bool smaller = target.width() < shown.width() || target.height() < shown.height();
    if (m_zoom == 100 && smaller && m_viewer.useResample() && !m_viewer.displayState().drawing) {
        // The smooth copy is made once per picture and size, not per paint.
        if (m_resampledGeneration != m_canvas.generation() || m_resampled.width() != target.width()
            || m_resampled.height() != target.height()) {
            m_resampled = resampleCommand(shown, target.width(), target.height()).takeOr({});
            m_resampledGeneration = m_canvas.generation();
        }
        if (m_resampled) {
            std::vector<uint8_t> scratch;
            drawBlock(painter, blockImage(m_resampled, logicalPalette(m_resampled), scratch), target);
            return;
        }
    }
    m_canvas.paint(painter, target);
}

void FullScreenWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (const ImageBlock& shown = m_viewer.shownBlock())
        paintInDevicePixels(painter, [&] { paintPicture(painter, shown); });
    if (m_showName) {
        QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setPixelSize(10);
        // A crisp bitmap-like face, as the stock fixed font was.
        font.setStyleStrategy(QFont::NoAntialias);
        painter.setFont(font);
        painter.setPen(QColor(0, 255, 0));
        painter.setBackgroundMode(Qt::TransparentMode);
        painter.drawText(QRect(0, 0, width(), 20), Qt::AlignLeft | Qt::AlignTop,
                         QString::fromStdString(m_viewer.picture().path));
    }
}

void FullScreenWindow::zoomIn(bool in)
{
    if (m_zoom == 100)
        m_step = 0;
    if (in && m_step == kMaxZoomStep) {
        m_viewer.ui().showMessage("This is the maximum !", MessageIcon::Information);
        return;
    }
    if (!in && m_step == kMinZoomStep) {
        m_viewer.ui().showMessage("This is the minimum !", MessageIcon::Information);
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

void FullScreenWindow::scroll(const ScrollMove& move)
{
    if (m_zoom == 100)
        return;
    const QSize scaled = scaledSize();
    const QSize screen = screenSize();
    const int scaledExtent = move.horizontal ? scaled.width() : scaled.height();
    const int screenExtent = move.horizontal ? screen.width() : screen.height();
    if (scaledExtent <= screenExtent)
        return;
    const int step = move.page ? scrollPage(screenExtent) : scrollLine(scaledExtent);
    int& position = move.horizontal ? m_scrollX : m_scrollY;
    position = std::clamp(position + (move.forward ? step : -step), 0, scaledExtent - screenExtent);
    update();
}

void FullScreenWindow::keyPressEvent(QKeyEvent* event)
{
    // The keys full screen takes are its shortcuts; a key that reaches here
    // leaves, unless it is a modifier pressed on its way to a shortcut. Alt
    // with a key is the desktop's (a menu's mnemonic, a window command), as
    // it always was: leaving on it would hand the next key, as often as not
    // Esc, to the main window, which ends on Esc.
    if (event->modifiers() & Qt::AltModifier)
        return;
    switch (event->key()) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
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
        m_run(command::PreviousFile);
        break;
    case Qt::RightButton:
        resetZoom();
        m_run(command::NextFile);
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
        if (left)
            left();
    }
    event->accept();
}

void FullScreenWindow::leave()
{
    close();
}

} // namespace pictorand
