#include "shell/slideshow_window.h"

#include "ops/color_table.h"
#include "ops/resample_command.h"
#include "tools/painting/block_image.h"
#include "shell/core/display_geometry.h"
#include "shell/picture_canvas.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>

#include <sys/resource.h>
#include <unistd.h>

namespace pictorand {

SlideshowWindow::SlideshowWindow(SlideshowHost& host, std::vector<std::string> entries, SlideshowOptions options,
                                 uint32_t seed)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_host(host)
    , m_entries(std::move(entries))
    , m_options(options)
    , m_sequence(static_cast<int>(m_entries.size()), options.mode, options.loop, seed)
    , m_schedule(options.delaySeconds)
    , m_trace(std::getenv("PICTORAND_TRACE_SLIDESHOW") != nullptr)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setWindowTitle("SlideshowClass");
    setCursor(Qt::BlankCursor);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &SlideshowWindow::tick);
}

SlideshowWindow::~SlideshowWindow()
{
    // A copy posted after this would reach a window that is gone.
    finishReducing();
    if (!m_detached)
        m_host.slideshowEnded();
}

void SlideshowWindow::start()
{
    m_clock.start();
    if (m_entries.empty())
        return;
    showEntry(m_sequence.first());
    if (m_options.mode != Advancement::OnInput) {
        m_schedule.start(m_clock.elapsed());
        armTimer();
    }
}

void SlideshowWindow::showEntry(int index)
{
    m_ready = false;
    m_current = m_entries[static_cast<size_t>(index)];
    m_host.loadSlide(m_current, m_options.quiet);
    m_ready = true;
    // A resampling and the read of the next picture at once would make the
    // next change late on a busy machine: the read waits for the copy.
    m_readAheadWaits = slideChanged();
    if (!m_readAheadWaits)
        readNextAhead();
}

void SlideshowWindow::readNextAhead()
{
    if (std::optional<int> following = m_sequence.peek())
        m_host.readSlideAhead(m_entries[static_cast<size_t>(*following)]);
}

void SlideshowWindow::advance()
{
    if (std::optional<int> index = m_sequence.next())
        showEntry(*index);
}

void SlideshowWindow::armTimer()
{
    m_timer->start(static_cast<int>(std::max<int64_t>(0, m_schedule.deadline() - m_clock.elapsed())));
}

bool SlideshowWindow::nextSheet()
{
    const int start = slideshowNextSheet(m_options.mode, m_host.slideSheetStart());
    if (start == 0)
        return false;
    m_ready = false;
    const bool shown = m_host.showSlideSheet(start);
    m_ready = true;
    // A sheet that cannot be read ends the pack: the show moves on.
    if (!shown)
        return false;
    slideChanged();
    return true;
}

bool SlideshowWindow::slideChanged()
{
    ++m_slideNumber;
    m_reduced = ImageBlock();
    m_reducedImage = QImage();
    // The change is painted first: the copy comes later, off this thread.
    repaint();
    m_changedAt = m_clock.elapsed();
    return startReducing();
}

bool SlideshowWindow::startReducing()
{
    const ImageBlock& block = m_host.slideBlock();
    if (!block)
        return false;
    const QSize screen = deviceSize();
    const PlacedPicture fit = fullScreenFit(block.width(), block.height(), screen.width(), screen.height());
    if (!slideNeedsReducedCopy(m_options.resample, block.width(), block.height(), fit))
        return false;
    finishReducing(); // one copy at a time
    // The worker has its own copy: the viewer's block may change under it
    // (another instance opening a file) while it resamples.
    Result<ImageBlock> duplicate = duplicateBlock(block);
    if (!duplicate)
        return false; // it stays stretched
    ImageBlock source = duplicate.take();
    const unsigned slide = m_slideNumber;
    m_reducer = std::thread([this, slide, fit, source = std::move(source)] {
        // The decode of the next slide ahead has the deadline: it goes first
        // when the processors are busy.
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);
        std::shared_ptr<ImageBlock> copy;
        try {
            copy = std::make_shared<ImageBlock>(resampleCommand(source, fit.width, fit.height).takeOr({}));
        } catch (...) {
            // No memory for it: the stretched picture stays.
        }
        QMetaObject::invokeMethod(
            this, [this, slide, copy] { reduced(slide, copy ? std::move(*copy) : ImageBlock()); },
            Qt::QueuedConnection);
    });
    return true;
}

void SlideshowWindow::finishReducing()
{
    if (m_reducer.joinable())
        m_reducer.join();
}

void SlideshowWindow::reduced(unsigned slide, ImageBlock copy)
{
    if (slide != m_slideNumber)
        return;
    if (std::exchange(m_readAheadWaits, false))
        readNextAhead();
    if (!copy)
        return;
    m_reduced = std::move(copy);
    m_reducedImage = blockImage(m_reduced, logicalPalette(m_reduced), m_reducedScratch);
    update();
    if (m_trace)
        std::fprintf(stderr, "slideshow resampled copy ready %lld ms after the change\n",
                     static_cast<long long>(m_clock.elapsed() - m_changedAt));
}

const ImageBlock& SlideshowWindow::reducedCopy(bool wait)
{
    if (wait) {
        finishReducing();
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    }
    return m_reduced;
}

void SlideshowWindow::tick()
{
    // While paused (or loading) ticks are ignored, but the timer runs on.
    if (m_ready && !m_paused) {
        const int64_t deadline = m_schedule.deadline();
        const unsigned before = m_slideNumber;
        if (!nextSheet())
            advance();
        // The change lands when it is painted (a resampled copy is made
        // after that).
        if (m_trace && m_slideNumber != before)
            std::fprintf(stderr, "slideshow change %+lld ms\n", static_cast<long long>(m_changedAt - deadline));
    }
    m_schedule.changed(m_clock.elapsed());
    armTimer();
}

void SlideshowWindow::react(SlideshowInput input)
{
    switch (slideshowReaction(input, m_paused, m_options.mode)) {
    case SlideshowAction::Pause:
        m_paused = true;
        break;
    case SlideshowAction::End:
        close();
        break;
    case SlideshowAction::Advance:
        advance();
        break;
    case SlideshowAction::ResumeAndAdvance:
        m_paused = false;
        advance();
        break;
    }
}

void SlideshowWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->isAutoRepeat())
        return;
    const int key = event->key();
    react(key == Qt::Key_Pause ? SlideshowInput::PauseKey
          : key == Qt::Key_Escape ? SlideshowInput::EscKey
                                  : SlideshowInput::OtherKey);
}

void SlideshowWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::MiddleButton)
        react(SlideshowInput::MiddleButton);
    else if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton)
        react(SlideshowInput::Button);
}

void SlideshowWindow::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        react(SlideshowInput::DoubleClick);
}

QSize SlideshowWindow::deviceSize() const
{
    const DeviceScale scale{devicePixelRatioF()};
    return {scale.toDevice(width()), scale.toDevice(height())};
}

void SlideshowWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(10);
    painter.setFont(font);
    painter.setPen(QColor(0, 255, 0));
    const int baseline = painter.fontMetrics().ascent();
    const ImageBlock& block = m_host.slideBlock();
    const QSize drawing = m_host.slideDrawingSize();
    if (block || !drawing.isEmpty()) {
        const QSize size = block ? QSize(block.width(), block.height()) : drawing;
        // Placed in device pixels: a picture smaller than the screen is shown
        // one pixel to one pixel of the screen at any desktop scale.
        const QSize screen = deviceSize();
        const PlacedPicture fit = fullScreenFit(size.width(), size.height(), screen.width(), screen.height());
        const QRect target(fit.x, fit.y, fit.width, fit.height);
        paintInDevicePixels(painter, [&] {
            if (!m_reducedImage.isNull())
                drawBlock(painter, m_reducedImage, target);
            else
                m_host.paintSlide(painter, target);
        });
        if (m_options.showName)
            painter.drawText(0, baseline, QString::fromStdString(m_current));
        return;
    }
    painter.drawText(0, baseline, QString::fromStdString(m_current));
    painter.drawText(0, 15 + baseline, QString("%1 %2 !").arg(kCantLoadSlide, QString::fromStdString(m_current)));
}

} // namespace pictorand
