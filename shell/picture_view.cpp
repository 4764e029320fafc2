#include "shell/picture_view.h"

#include "shell/core/display_geometry.h"

#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>

namespace pictorand {

// The LTGRAY_BRUSH of the main window class.
static const QColor kLightGrey(192, 192, 192);

PictureView::PictureView(QWidget* parent) : QAbstractScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette palette = viewport()->palette();
    palette.setColor(QPalette::Window, kLightGrey);
    palette.setColor(QPalette::Base, kLightGrey);
    viewport()->setPalette(palette);
    viewport()->setAutoFillBackground(true);
    // The picture is drawn whole on every paint; nothing to scroll in place.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent, false);
}

QPoint PictureView::scrollPosition() const
{
    return {horizontalScrollBar()->value(), verticalScrollBar()->value()};
}

void PictureView::setScrollBars(bool horizontal, int horizontalRange, bool vertical, int verticalRange)
{
    m_followed = QSize();
    horizontalScrollBar()->setRange(0, horizontal ? horizontalRange : 0);
    verticalScrollBar()->setRange(0, vertical ? verticalRange : 0);
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    setHorizontalScrollBarPolicy(horizontal ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(vertical ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    updateSteps();
    viewport()->update();
}

void PictureView::followPicture(QSize size)
{
    m_followed = size;
    followRanges();
}

void PictureView::followRanges()
{
    // A bar where the picture does not fit the whole area, and then the
    // other where it does not fit beside that bar.
    // In device pixels, as the picture's size and the ranges are.
    const DeviceScale scale{devicePixelRatioF()};
    const QSize area(scale.toDevice(contentsRect().width()), scale.toDevice(contentsRect().height()));
    const int bar = scale.toDevice(style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this));
    bool horizontal = m_followed.width() > area.width();
    bool vertical = m_followed.height() > area.height();
    vertical = vertical || (horizontal && m_followed.height() > area.height() - bar);
    horizontal = horizontal || (vertical && m_followed.width() > area.width() - bar);
    const QSize shown(area.width() - (vertical ? bar : 0), area.height() - (horizontal ? bar : 0));
    setHorizontalScrollBarPolicy(horizontal ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(vertical ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    horizontalScrollBar()->setRange(0, horizontal ? m_followed.width() - shown.width() : 0);
    verticalScrollBar()->setRange(0, vertical ? m_followed.height() - shown.height() : 0);
    updateSteps();
    viewport()->update();
}

bool PictureView::scrollBy(Qt::Orientation orientation, bool page, bool forward)
{
    const bool horizontal = orientation == Qt::Horizontal;
    QScrollBar* bar = horizontal ? horizontalScrollBar() : verticalScrollBar();
    if ((horizontal ? horizontalScrollBarPolicy() : verticalScrollBarPolicy()) == Qt::ScrollBarAlwaysOff
        || bar->maximum() == 0)
        return false;
    const int extent = horizontal ? deviceExtent().width() : deviceExtent().height();
    const int step = page ? scrollPage(extent) : scrollLine(extent);
    bar->setValue(bar->value() + (forward ? step : -step));
    viewport()->update();
    return true;
}

QSize PictureView::deviceExtent() const
{
    const DeviceScale scale{devicePixelRatioF()};
    return {scale.toDevice(viewport()->width()), scale.toDevice(viewport()->height())};
}

void PictureView::updateSteps()
{
    const QSize extent = deviceExtent();
    horizontalScrollBar()->setSingleStep(scrollLine(extent.width()));
    horizontalScrollBar()->setPageStep(scrollPage(extent.width()));
    verticalScrollBar()->setSingleStep(scrollLine(extent.height()));
    verticalScrollBar()->setPageStep(scrollPage(extent.height()));
}

void PictureView::paintEvent(QPaintEvent*)
{
    QPainter p(viewport());
    if (painter)
        painter(p);
}

void PictureView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    if (!m_followed.isEmpty())
        followRanges();
    updateSteps();
}

void PictureView::scrollContentsBy(int, int)
{
    viewport()->update();
}

void PictureView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (doubleClicked)
        doubleClicked();
    event->accept();
}

void PictureView::keyPressEvent(QKeyEvent* event)
{
    // Keys belong to the main window's key table, not to the scroll area.
    event->ignore();
}

} // namespace pictorand
